// genera: converts the catalogue listing catalogo.txt into SQL Server DDL in genera.sql.
#include <fstream>
#include <string>

#include "app/commands/commands.h"
#include "datafiles/replacing_file.h"
#include "migrate/ddl_converter.h"

namespace volmek::app {

namespace {

// Hands what the converter writes to the output file; a write failure is kept for the end.
class FileSinkBuffer : public std::streambuf {
 public:
  explicit FileSinkBuffer(datafiles::ReplacingFile& file) : file_(file) {}
  bool failed() const { return failed_; }

 protected:
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    if (!failed_ && !file_.Write(std::string_view(data, static_cast<std::size_t>(size))).ok()) {
      failed_ = true;
    }
    return failed_ ? 0 : size;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }

 private:
  datafiles::ReplacingFile& file_;
  bool failed_ = false;
};

}  // namespace

Status RunGenera(db::RunContext& /*ctx*/, const Args& /*args*/) {
  std::ifstream listing("catalogo.txt", std::ios::binary);
  if (!listing.is_open()) return Status::IoError("Imposible abrir fichero (catalogo.txt).\n");
  auto file = datafiles::ReplacingFile::Create("genera.sql");
  if (!file.has_value()) return Status::IoError("Imposible abrir fichero (genera.sql).\n");
  FileSinkBuffer buffer(*file);
  std::ostream ddl(&buffer);
  Status converted = migrate::ConvertListing(listing, ddl);
  if (converted.code() == Status::Code::kIoError) {
    return Status::IoError("Imposible leer fichero (catalogo.txt).\n");
  }
  if (buffer.failed()) return Status::IoError("Imposible escribir fichero (genera.sql).\n");
  // A listing that stops the conversion still leaves genera.sql with what was written up to
  // the stop, which shows the user where the listing went wrong.
  if (!file->Commit().ok()) return Status::IoError("Imposible escribir fichero (genera.sql).\n");
  return converted;
}

}  // namespace volmek::app
