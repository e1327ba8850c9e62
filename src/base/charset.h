// The client character set: the one encoding in which volmek reads and writes text.
//
// It is named, as Oracle's clients name it, by the character-set part of NLS_LANG (what
// follows its last "."): "SPANISH_SPAIN.WE8MSWIN1252" is Windows-1252. An unset NLS_LANG, or
// one without that part, means UTF-8 (AL32UTF8). Statements, scripts, table text files and
// copybooks are read in it, and the files volmek writes are written in it; the only file
// written in another encoding is the bulk-load file, in the code page its carga.bat line
// declares (TextConverter).
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "base/status.h"

namespace volmek {

struct CharacterSet {
  std::string oracle_name;  // "AL32UTF8", "WE8MSWIN1252", ...
  std::string iconv_name;   // "UTF-8", "WINDOWS-1252", ...
  bool utf8 = false;        // one character may take several bytes

  static CharacterSet Utf8();
};

// The client character set that NLS_LANG names (UTF-8 when it names none). Knows AL32UTF8,
// UTF8, WE8MSWIN1252, WE8ISO8859P1, WE8ISO8859P15 and US7ASCII, in any letter case. Fails
// (kInvalidInput) for any other: "Juego de caracteres no admitido en NLS_LANG (%s).\n".
Result<CharacterSet> ClientCharacterSet(const Environment& env);

// The number of characters of `text` in `charset`: its bytes, or for UTF-8 the bytes that do
// not continue a sequence (a malformed byte counts as one character).
std::size_t CharacterCount(std::string_view text, const CharacterSet& charset);

// The position (from 0) of the first byte of `text` that is not well-formed UTF-8, or npos.
std::size_t InvalidUtf8At(std::string_view text);

// Converts text from one encoding to another with iconv. Owns its conversion descriptor.
class TextConverter {
 public:
  // Fails (kUnsupported) when iconv knows no conversion between the two names.
  static Result<TextConverter> Open(const std::string& from, const std::string& to);

  TextConverter(TextConverter&& other) noexcept : cd_(other.cd_) { other.cd_ = Invalid(); }
  TextConverter& operator=(TextConverter&&) = delete;
  TextConverter(const TextConverter&) = delete;
  ~TextConverter();

  // `text` in the target encoding. Fails (kInvalidInput) at the first character that is not
  // valid in the source encoding or has no place in the target one; the message is the byte
  // offset (from 0) of that character in `text`.
  Result<std::string> Convert(std::string_view text) const;

  // `text` in the target encoding, each character that cannot be converted replaced by "?",
  // as Oracle's client does with a character its character set lacks. `source_utf8`: the
  // source is UTF-8, so that a replaced character is skipped whole.
  std::string ConvertReplacing(std::string_view text, bool source_utf8) const;

 private:
  explicit TextConverter(iconv_t cd) : cd_(cd) {}
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
};

}  // namespace volmek
