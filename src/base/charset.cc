#include "base/charset.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>

#include "base/text.h"

namespace volmek {

namespace {

struct KnownSet {
  std::string_view oracle_name;
  std::string_view iconv_name;
};

constexpr std::array kKnownSets{
    KnownSet{"AL32UTF8", "UTF-8"},
    KnownSet{"UTF8", "UTF-8"},
    KnownSet{"WE8MSWIN1252", "WINDOWS-1252"},
    KnownSet{"WE8ISO8859P1", "ISO-8859-1"},
    KnownSet{"WE8ISO8859P15", "ISO-8859-15"},
    KnownSet{"US7ASCII", "ASCII"},
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

CharacterSet CharacterSet::Utf8() { return CharacterSet{"AL32UTF8", "UTF-8", true}; }

Result<CharacterSet> ClientCharacterSet(const Environment& env) {
  std::string nls_lang = env.Get("NLS_LANG");
  std::size_t dot = nls_lang.rfind('.');
  if (dot == std::string::npos || dot + 1 == nls_lang.size()) return CharacterSet::Utf8();
  std::string name = UpperCase(std::string_view(nls_lang).substr(dot + 1));
  for (const KnownSet& known : kKnownSets) {
    if (name == known.oracle_name) {
      return CharacterSet{name, std::string(known.iconv_name), known.iconv_name == "UTF-8"};
    }
  }
  return Err(Status::InvalidInput(fmt::format("Juego de caracteres no admitido en NLS_LANG ({}).\n",
                                              nls_lang.substr(dot + 1))));
}

std::size_t CharacterCount(std::string_view text, const CharacterSet& charset) {
  if (!charset.utf8) return text.size();
  std::size_t count = 0;
  for (char c : text) {
    if (!IsContinuation(static_cast<unsigned char>(c))) ++count;
  }
  return count;
}

std::size_t InvalidUtf8At(std::string_view text) {
  std::size_t idx = 0;
  while (idx < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[idx]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    // Overlong two-byte forms (C0, C1) and leads beyond U+10FFFF (F5 on) are malformed.
    if (length == 0 || lead == 0xC0 || lead == 0xC1 || lead > 0xF4) return idx;
    if (idx + length > text.size()) return idx;
    for (std::size_t next = 1; next < length; ++next) {
      if (!IsContinuation(static_cast<unsigned char>(text[idx + next]))) return idx;
    }
    unsigned char second = length > 1 ? static_cast<unsigned char>(text[idx + 1]) : 0;
    // Overlong three- and four-byte forms, UTF-16 surrogates, and code points past U+10FFFF.
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
      return idx;
    }
    idx += length;
  }
  return std::string_view::npos;
}

Result<TextConverter> TextConverter::Open(const std::string& from, const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == Invalid()) {
    return Err(Status::Unsupported(fmt::format("No se puede convertir de {} a {}.\n", from, to)));
  }
  return TextConverter(cd);
}

TextConverter::~TextConverter() {
  if (cd_ != Invalid()) iconv_close(cd_);
}

Result<std::string> TextConverter::Convert(std::string_view text) const {
  // Back to the initial shift state, so that one failed call does not affect the next.
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  std::string result;
  // Every target used here takes at most four bytes a character, and each source character
  // takes at least one byte.
  result.resize(text.size() * 4 + 4);
  char* in = const_cast<char*>(text.data());  // iconv does not write through it
  std::size_t in_left = text.size();
  char* out = result.data();
  std::size_t out_left = result.size();
  while (in_left > 0) {
    if (iconv(cd_, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        std::size_t written = result.size() - out_left;
        result.resize(result.size() * 2);
        out = result.data() + written;
        out_left = result.size() - written;
        continue;
      }
      return Err(Status::InvalidInput(fmt::format("{}", text.size() - in_left)));
    }
  }
  result.resize(result.size() - out_left);
  return result;
}

std::string TextConverter::ConvertReplacing(std::string_view text, bool source_utf8) const {
  std::string result;
  while (true) {
    Result<std::string> converted = Convert(text);
    if (converted.has_value()) return result + *converted;
    std::size_t at = std::stoul(converted.error().message());
    // The part before the character converts (the converter stopped at the character itself).
    result += *Convert(text.substr(0, at));
    result += '?';
    std::size_t skip = 1;
    while (source_utf8 && at + skip < text.size() &&
           IsContinuation(static_cast<unsigned char>(text[at + skip]))) {
      ++skip;
    }
    text.remove_prefix(at + skip);
  }
}

}  // namespace volmek
