// The data dictionary views (USER_TABLES, USER_TAB_COLUMNS, ...), DUAL, and the name lookup
// the translator resolves names through.
//
// Each view is a query over the catalogue tables, filtered by the logged-on user where Oracle's
// view is, that the translator writes into the statements that read it: USER_* show the user's own
// objects, ALL_* every user's. The translator sees them as TableInfo entries (is_view set) named as
// Oracle names them; the short synonyms TABS, CAT, COLS, IND, SEQ and OBJ resolve to the same
// views.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

// The dictionary view or DUAL called `name` (synonyms included), as the translator sees it for
// `user`: a view's physical name is the text of a subquery over the catalogue.
std::optional<TableInfo> FindDictionaryView(std::string_view name, std::string_view user);

// The TableInfo of a catalogue table or view of `owner`.
OraResult<std::optional<TableInfo>> LoadTableInfo(const Catalog& catalog, const ObjectRef& ref);

// Name resolution for one user: own tables, views and private synonyms first, then the
// dictionary views and public synonyms. A synonym stands for the object it names (followed
// through other synonyms); when that is gone the name is ORA-00980, and a chain that comes
// back to itself ORA-01775.
class CatalogLookup : public SchemaLookup {
 public:
  CatalogLookup(const Catalog& catalog, std::string user)
      : catalog_(catalog), user_(std::move(user)) {}

  std::optional<TableInfo> FindTable(std::string_view name) const override;
  std::optional<OraError> LookupError(std::string_view name) const override;
  bool SequenceExists(std::string_view name) const override;
  std::optional<SequenceName> FindSequence(std::string_view owner,
                                           std::string_view name) const override;
  std::string CurrentUser() const override { return user_; }
  bool IsUniqueColumn(std::string_view table, std::string_view column) const override;
  std::optional<StoredFunctionInfo> FindStoredFunction(std::string_view name) const override {
    if (!find_function_) return std::nullopt;
    return find_function_(name);
  }
  // Who finds stored functions for SQL (the session, which compiles them).
  void SetFunctionFinder(
      std::function<std::optional<StoredFunctionInfo>(std::string_view)> finder) {
    find_function_ = std::move(finder);
  }

 private:
  struct Resolved {
    std::optional<TableInfo> table;
    std::optional<OraError> error;
  };
  // `name` as FindTable takes it ("OWNER.NAME" when qualified).
  Resolved Resolve(std::string_view name) const;
  Resolved ResolveIn(std::string_view owner, std::string_view object, bool qualified,
                     int depth) const;
  Resolved Follow(const ObjectRef& synonym, int depth) const;
  std::optional<SequenceName> SequenceIn(std::string_view owner, std::string_view name,
                                         bool qualified, int depth) const;

  const Catalog& catalog_;
  std::string user_;
  std::function<std::optional<StoredFunctionInfo>(std::string_view)> find_function_;
};

}  // namespace volmek::engine
