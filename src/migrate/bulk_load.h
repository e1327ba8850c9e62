// Bulk-load files: the table text files of a directory turned into files for SQL Server's
// bulk-copy utility, and the batch of bcp commands that loads them (traspaso).
//
// A bulk-load file <table>.bcp has one line per row of the table text file: the field 0 for
// the identity column IDENTI that the generated DDL puts first, then every value of the row,
// each after the field terminator "~". A NULL is an empty field; a text is written as it is
// (quotes removed, doubled apostrophes undone, commas and quotes kept); numbers and dates
// ('YYYY-MM-DD HH24:MI:SS', what bcp reads for datetime) as they stand:
//
//   1,'O''Brien, J.',NULL,12.50,'2026-12-08 10:11:12'  ->  0~1~O'Brien, J.~~12.50~2026-12-08
//   10:11:12
//
// A value holding "~", a line feed or a carriage return cannot be told apart from a field or
// row end in that format; such a row stops the conversion of its file.
//
// The table text files are read in the client character set (base/charset.h); the bulk-load
// files are written in Windows-1252, the code page that "/CACP" in their carga.bat line makes
// bcp read them in. A character that Windows-1252 does not have stops the conversion of its
// file, naming the file, the line and the character.
//
// For each file converted one line is appended to carga.bat (created when missing, never
// truncated); for the table emp:
//
//   bcp %NOMBD%.dbo.emp in emp.bcp -e emp.err /m 20 /c /CACP /t ~ /r \n /U%USER% /P%PASS%
//   /S%SERVER% /b1000
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "base/charset.h"
#include "base/progress.h"
#include "base/status.h"

namespace volmek::migrate {

// The table name a table text file stands for: the file name with A to Z lower-cased, cut at
// its first "." ("EMP.TXT" and "emp.old.txt" both give "emp").
std::string BaseName(std::string_view file_name);

// The carga.bat line (with its line end) that loads <base_name>.bcp into the table base_name.
std::string BatchLine(std::string_view base_name);

// Receives the converted lines, each with its line end; a failure stops the conversion.
using LineSink = std::function<Status(std::string_view line)>;

// Text of the client character set re-encoded for the bulk-load files.
class BulkLoadEncoder {
 public:
  // Fails (kUnsupported) when the system's iconv cannot convert between the two.
  static Result<BulkLoadEncoder> Open(const CharacterSet& client);

  // `text` in Windows-1252. Fails (kInvalidInput) with the reason, ready to follow "Fichero
  // %s, linea %d, columna %d: ", for a character that Windows-1252 does not have or a byte
  // sequence that is not text of the client character set.
  Result<std::string> Encode(std::string_view text) const;

 private:
  BulkLoadEncoder(CharacterSet client, TextConverter converter)
      : client_(std::move(client)), converter_(std::move(converter)) {}
  CharacterSet client_;
  TextConverter converter_;
};

// Converts the table text lines read from `in` into bulk-load lines, encoded by `encoder`,
// handed to `sink`.
// `file_name` names the input in messages. Fails with kCorrupt on a line that is not a value
// list ("Fichero %s, linea %d: ...") or whose values cannot be written in the bulk-load form,
// with kIoError when `in` cannot be read, and with what `sink` returns. `progress`, when
// given, counts the lines and the bytes read of `size` (0: unknown).
Status ConvertTableText(std::istream& in, std::string_view file_name,
                        const BulkLoadEncoder& encoder, const LineSink& sink,
                        ProgressTask* progress = nullptr, std::uint64_t size = 0);

// The traspaso run over the directory `dir`: every regular file whose name ends in ".txt"
// (any letter case), but catalogo.txt, in name order. Prints "Trata: %s\n" with the lower-cased
// name to `out` for each, writes <base>.bcp (replacing it only once it is complete) and then
// appends the file's line to carga.bat. A name whose table name is not an identifier is passed
// over with a warning (it could not stand in the batch line safely). Stops at the first file
// that cannot be opened, read, converted or written; files finished before it stay. The lines
// of each file are counted on `progress`. The files are read in `client`. A directory that
// cannot be listed, or that was removed, fails with "Imposible abrir directorio (%s).\n".
Status ConvertDirectory(const std::filesystem::path& dir, std::ostream& out, Progress& progress,
                        const CharacterSet& client);

}  // namespace volmek::migrate
