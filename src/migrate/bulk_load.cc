#include "migrate/bulk_load.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <system_error>
#include <vector>

#include "base/line_reader.h"
#include "base/text.h"
#include "datafiles/replacing_file.h"
#include "datafiles/table_text.h"

namespace volmek::migrate {

namespace {

namespace fs = std::filesystem;

constexpr char kFieldTerminator = '~';
// What "/CACP" (the Windows ANSI code page) means for these users.
constexpr std::string_view kBulkLoadCodePage = "WINDOWS-1252";

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

Status CannotOpen(std::string_view name) {
  return Status::IoError(fmt::format("Imposible abrir fichero ({}).\n", name));
}
Status CannotWrite(std::string_view name) {
  return Status::IoError(fmt::format("Imposible escribir fichero ({}).\n", name));
}

Status AppendBatchLine(const fs::path& batch_path, std::string_view base_name) {
  std::ofstream batch(batch_path, std::ios::binary | std::ios::app);
  if (!batch.is_open()) return CannotOpen("carga.bat");
  batch << BatchLine(base_name);
  batch.close();
  if (batch.fail()) return CannotWrite("carga.bat");
  return Status::Ok();
}

// The *.txt files of `dir`, in name order so that a run does not depend on the order in which
// the file system happens to list them.
Result<std::vector<std::string>> TableTextFiles(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code error;
  // A working directory that was removed still lists, as an empty one: its path says it is gone.
  (void)fs::canonical(dir, error);
  if (error)
    return Err(Status::IoError(fmt::format("Imposible abrir directorio ({}).\n", dir.string())));
  fs::directory_iterator it(dir, error);
  if (error) return Err(CannotOpen(dir.string()));
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) return Err(CannotOpen(dir.string()));
    std::string name = it->path().filename().string();
    if (name.size() < 4 || LowerCase(name.substr(name.size() - 4)) != ".txt") continue;
    std::error_code ignored;
    if (!it->is_regular_file(ignored)) continue;
    names.push_back(std::move(name));
  }
  if (error) return Err(CannotOpen(dir.string()));
  std::sort(names.begin(), names.end());
  return names;
}

Status ConvertFile(const fs::path& dir, const std::string& name, std::ostream& out,
                   Progress& progress, const BulkLoadEncoder& encoder) {
  std::string lower_name = LowerCase(name);
  if (lower_name == "catalogo.txt") return Status::Ok();
  std::string base_name = BaseName(name);
  if (!IsPlainIdentifier(base_name)) {
    out << fmt::format("Warning. Fichero {} no tratado: \"{}\" no es un nombre de tabla.\n", name,
                       base_name);
    return Status::Ok();
  }
  out << "Trata: " << lower_name << "\n";

  std::ifstream in(dir / name, std::ios::binary);
  if (!in.is_open()) return CannotOpen(name);
  // The bulk-load file replaces the previous one only once complete: a failed conversion leaves
  // the earlier file of the table as it was.
  std::string bcp_name = base_name + ".bcp";
  auto bcp = datafiles::ReplacingFile::Create((dir / bcp_name).string());
  if (!bcp.has_value()) return CannotOpen(bcp_name);
  std::error_code size_error;
  std::uintmax_t size = fs::file_size(dir / name, size_error);
  ProgressTask task = progress.Begin(fmt::format("traspaso {}", lower_name));
  VOLMEK_RETURN_IF_ERROR(ConvertTableText(
      in, name, encoder,
      [&](std::string_view line) -> Status {
        if (!bcp->Write(line).ok()) return CannotWrite(bcp_name);
        return Status::Ok();
      },
      &task, size_error ? 0 : size));
  task.End();
  if (!bcp->Commit().ok()) return CannotWrite(bcp_name);
  // The batch line comes once its file is complete, so that carga.bat never names a file
  // that a failed run left half written.
  return AppendBatchLine(dir / "carga.bat", base_name);
}

}  // namespace

std::string BaseName(std::string_view file_name) {
  return LowerCase(file_name.substr(0, file_name.find('.')));
}

std::string BatchLine(std::string_view base_name) {
  return fmt::format(
      "bcp %NOMBD%.dbo.{0} in {0}.bcp -e {0}.err /m 20 /c /CACP /t ~ /r \\n /U%USER% /P%PASS% "
      "/S%SERVER% /b1000\n",
      base_name);
}

Result<BulkLoadEncoder> BulkLoadEncoder::Open(const CharacterSet& client) {
  VOLMEK_ASSIGN_OR_RETURN(TextConverter converter,
                          TextConverter::Open(client.iconv_name, std::string(kBulkLoadCodePage)));
  return BulkLoadEncoder(client, std::move(converter));
}

Result<std::string> BulkLoadEncoder::Encode(std::string_view text) const {
  Result<std::string> encoded = converter_.Convert(text);
  if (encoded.has_value()) return encoded;
  std::size_t at = std::stoul(encoded.error().message());
  if (client_.utf8 && InvalidUtf8At(text) == at) {
    return Err(Status::InvalidInput(fmt::format("el byte {:#04x} no es texto {} (NLS_LANG)",
                                                static_cast<unsigned char>(text[at]),
                                                client_.oracle_name)));
  }
  std::size_t length = 1;
  while (client_.utf8 && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return Err(Status::InvalidInput(
      fmt::format("el caracter \"{}\" no existe en Windows-1252, la pagina de codigos del "
                  "fichero bcp",
                  text.substr(at, length))));
}

Status ConvertTableText(std::istream& in, std::string_view file_name,
                        const BulkLoadEncoder& encoder, const LineSink& sink,
                        ProgressTask* progress, std::uint64_t size) {
  LineReader reader(in);
  std::string line;
  std::string converted;
  std::uint64_t bytes_read = 0;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, reader.Next(line));
    if (!more) break;
    auto fields = datafiles::ParseLine(WithoutLineEnd(line));
    if (!fields.has_value()) {
      return Status::Corrupt(fmt::format("Fichero {}, linea {}: {}.\n", file_name,
                                         reader.line_number(), fields.error().message()));
    }
    converted.assign(1, '0');
    for (std::size_t field_idx = 0; field_idx < fields->size(); ++field_idx) {
      const datafiles::Field& field = (*fields)[field_idx];
      if (field.text.find_first_of("~\r\n") != std::string::npos) {
        return Status::Corrupt(fmt::format(
            "Fichero {}, linea {}, columna {}: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n",
            file_name, reader.line_number(), field_idx + 1));
      }
      converted += kFieldTerminator;
      if (field.kind == datafiles::FieldKind::kNull) continue;
      Result<std::string> encoded = encoder.Encode(field.text);
      if (!encoded.has_value()) {
        return Status::InvalidInput(fmt::format("Fichero {}, linea {}, columna {}: {}.\n",
                                                file_name, reader.line_number(), field_idx + 1,
                                                encoded.error().message()));
      }
      converted += *encoded;
    }
    converted += '\n';
    VOLMEK_RETURN_IF_ERROR(sink(converted));
    bytes_read += line.size();
    if (progress != nullptr) progress->Update(reader.line_number(), bytes_read, size);
  }
  return Status::Ok();
}

Status ConvertDirectory(const fs::path& dir, std::ostream& out, Progress& progress,
                        const CharacterSet& client) {
  VOLMEK_ASSIGN_OR_RETURN(BulkLoadEncoder encoder, BulkLoadEncoder::Open(client));
  VOLMEK_ASSIGN_OR_RETURN(std::vector<std::string> names, TableTextFiles(dir));
  for (const std::string& name : names) {
    VOLMEK_RETURN_IF_ERROR(ConvertFile(dir, name, out, progress, encoder));
  }
  return Status::Ok();
}

}  // namespace volmek::migrate
