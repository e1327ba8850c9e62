#include "db/converting_connection.h"

#include <memory>
#include <optional>
#include <vector>

namespace volmek::db {

namespace {

bool AllAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The two directions of one client's conversion, shared by its connection and cursors.
struct Conversions {
  TextConverter to_database;  // client set -> UTF-8
  TextConverter to_client;    // UTF-8 -> client set
  bool client_utf8;

  std::string ToDatabase(std::string_view text) const {
    return AllAscii(text) ? std::string(text) : to_database.ConvertReplacing(text, client_utf8);
  }
  std::string ToClient(std::string_view text) const {
    return AllAscii(text) ? std::string(text) : to_client.ConvertReplacing(text, true);
  }
};

class ConvertingCursor : public Cursor {
 public:
  ConvertingCursor(std::unique_ptr<Cursor> inner, std::shared_ptr<const Conversions> conversions)
      : inner_(std::move(inner)), conversions_(std::move(conversions)) {}

  int Parse(std::string_view sql) override {
    values_.clear();
    binds_.clear();
    return inner_->Parse(conversions_->ToDatabase(sql));
  }
  // Host variables go in converted to the database's set and come back converted to the
  // client's (never longer than they went: the client set has one byte per character at most
  // where the database's has one or more).
  int Execute() override {
    for (Bound& bound : binds_) {
      bound.inner->is_null = bound.client->is_null;
      bound.inner->text = conversions_->ToDatabase(bound.client->text);
      bound.inner->max_size = bound.client->max_size;
    }
    int rc = inner_->Execute();
    if (rc != kRcOk) return rc;
    for (Bound& bound : binds_) {
      bound.client->is_null = bound.inner->is_null;
      bound.client->text = conversions_->ToClient(bound.inner->text);
    }
    return rc;
  }
  int BindByName(std::string_view name, BindVariable* variable) override {
    auto inner = std::make_unique<BindVariable>();
    int rc = inner_->BindByName(name, inner.get());
    if (rc == kRcOk) binds_.push_back(Bound{variable, std::move(inner)});
    return rc;
  }
  int Describe(int position, ColumnDescription* out) override {
    int rc = inner_->Describe(position, out);
    if (rc == kRcOk) out->name = conversions_->ToClient(out->name);
    return rc;
  }
  int Define(int position, ExternalType type) override { return inner_->Define(position, type); }
  int Fetch() override {
    values_.clear();
    return inner_->Fetch();
  }
  // The converted copy of a value is made once per fetched row and position.
  const FetchedValue& Value(int position) const override {
    std::size_t idx = static_cast<std::size_t>(position);
    if (idx >= values_.size()) values_.resize(idx + 1);
    if (!values_[idx].has_value()) {
      FetchedValue value = inner_->Value(position);
      value.text = conversions_->ToClient(value.text);
      values_[idx] = std::move(value);
    }
    return *values_[idx];
  }
  int rc() const override { return inner_->rc(); }
  std::uint16_t function_type() const override { return inner_->function_type(); }
  std::uint64_t rows_processed() const override { return inner_->rows_processed(); }
  std::string ErrorText() const override { return conversions_->ToClient(inner_->ErrorText()); }

 private:
  std::unique_ptr<Cursor> inner_;
  std::shared_ptr<const Conversions> conversions_;
  mutable std::vector<std::optional<FetchedValue>> values_;
  struct Bound {
    BindVariable* client;
    std::unique_ptr<BindVariable> inner;  // what the inner cursor is bound to
  };
  std::vector<Bound> binds_;
};

class ConvertingConnection : public Connection {
 public:
  ConvertingConnection(std::unique_ptr<Connection> inner,
                       std::shared_ptr<const Conversions> conversions)
      : inner_(std::move(inner)), conversions_(std::move(conversions)) {}

  std::unique_ptr<Cursor> OpenCursor(int* rc) override {
    std::unique_ptr<Cursor> cursor = inner_->OpenCursor(rc);
    if (cursor == nullptr) return nullptr;
    return std::make_unique<ConvertingCursor>(std::move(cursor), conversions_);
  }
  int LogOff() override { return inner_->LogOff(); }
  int BeginUnit() override { return inner_->BeginUnit(); }
  void EndUnit() override { inner_->EndUnit(); }
  std::string ErrorText() const override { return conversions_->ToClient(inner_->ErrorText()); }

 private:
  std::unique_ptr<Connection> inner_;
  std::shared_ptr<const Conversions> conversions_;
};

}  // namespace

Result<std::unique_ptr<Connection>> ForClientCharacterSet(std::unique_ptr<Connection> inner,
                                                          const CharacterSet& client) {
  if (client.utf8) return inner;
  VOLMEK_ASSIGN_OR_RETURN(TextConverter to_database,
                          TextConverter::Open(client.iconv_name, "UTF-8"));
  VOLMEK_ASSIGN_OR_RETURN(TextConverter to_client, TextConverter::Open("UTF-8", client.iconv_name));
  auto conversions = std::make_shared<const Conversions>(
      Conversions{std::move(to_database), std::move(to_client), client.utf8});
  return std::unique_ptr<Connection>(
      std::make_unique<ConvertingConnection>(std::move(inner), std::move(conversions)));
}

}  // namespace volmek::db
