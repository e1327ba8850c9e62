// Fuzz target: the line tokenizer in both modes, from any start index. The first byte picks
// the mode and the second the start; the rest is the line. Every token must be the very text
// of the line at its offset, tokens must follow each other without overlapping, and what lies
// between them (and before the first, from the start index) must be blanks and tabs only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using volmek::tokenizer::Mode;
  if (size < 2) return 0;
  const Mode mode = (data[0] & 1) != 0 ? Mode::kOption : Mode::kCopybook;
  const std::size_t start = data[1];
  std::string_view line(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::vector<volmek::tokenizer::Token> tokens =
      volmek::tokenizer::Tokenize(line, mode, start);
  const std::vector<std::string> words = volmek::tokenizer::TokenizeWords(line, mode, start);
  if (words.size() != tokens.size()) __builtin_trap();

  std::string_view text = line.substr(0, line.find('\n'));
  std::size_t pos = start;
  for (std::size_t idx = 0; idx < tokens.size(); ++idx) {
    const volmek::tokenizer::Token& token = tokens[idx];
    if (token.text.empty() || token.text != words[idx]) __builtin_trap();
    if (token.offset < pos || token.offset + token.text.size() > text.size()) __builtin_trap();
    for (; pos < token.offset; ++pos) {
      if (text[pos] != ' ' && text[pos] != '\t') __builtin_trap();
    }
    if (text.substr(token.offset, token.text.size()) != token.text) __builtin_trap();
    if (volmek::tokenizer::IsDelimiter(token.text[0], mode) && token.text.size() != 1 &&
        !token.text.starts_with("/*")) {
      __builtin_trap();
    }
    pos = token.offset + token.text.size();
  }
  for (; pos < text.size(); ++pos) {
    if (text[pos] != ' ' && text[pos] != '\t') __builtin_trap();
  }
  return 0;
}
