#include "copybook/picture.h"

#include <fmt/format.h>

#include <string>

#include "base/text.h"

namespace volmek::copybook {

namespace {

// Counts beyond this are refused: no COBOL item comes near it, and the sums of counts stay far
// from overflowing whatever the length of the picture.
constexpr std::int64_t kMaxCount = 999'999'999;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Result<Picture> ParsePicture(std::string_view raw) {
  const std::string text = UpperCase(raw);
  if (text.empty()) return Err(Status::InvalidInput("mascara vacia"));
  Picture picture;
  bool after_point = false;
  bool seen_digit_symbol = false;
  char floating = '\0';  // the first of + - $ met, whose repetitions are digit positions
  std::int64_t floating_seen = 0;

  auto add_digits = [&](std::int64_t count) {
    if (after_point) {
      picture.decimals += count;
    } else {
      picture.integer_digits += count;
    }
  };

  std::size_t pos = 0;
  while (pos < text.size()) {
    const char symbol = text[pos];
    std::size_t width = 1;
    if ((symbol == 'C' && pos + 1 < text.size() && text[pos + 1] == 'R') ||
        (symbol == 'D' && pos + 1 < text.size() && text[pos + 1] == 'B')) {
      width = 2;
    }
    std::size_t next = pos + width;
    std::int64_t count = 1;
    if (next < text.size() && text[next] == '(') {
      const std::size_t close = text.find(')', next + 1);
      if (close == std::string::npos) return Err(Status::InvalidInput("Esperado \")\""));
      const std::string_view digits = std::string_view(text).substr(next + 1, close - next - 1);
      count = 0;
      bool valid = !digits.empty();
      for (char c : digits) {
        if (!IsDigit(c) || count > kMaxCount) {
          valid = false;
          break;
        }
        count = count * 10 + (c - '0');
      }
      if (!valid || count == 0 || count > kMaxCount) {
        return Err(Status::InvalidInput(
            fmt::format("repeticion ({}) no valida en la mascara {}", digits, text)));
      }
      next = close + 1;
    }

    switch (symbol) {
      case 'X':
      case 'A':
        picture.alphanumeric = true;
        picture.positions += count;
        break;
      case '9':
      case 'Z':
      case '*':
        seen_digit_symbol = true;
        picture.positions += count;
        add_digits(count);
        break;
      case 'S':
        if (pos != 0 || count != 1) {
          return Err(
              Status::InvalidInput(fmt::format("S fuera de su sitio en la mascara {}", text)));
        }
        picture.is_signed = true;
        break;
      case 'V':
        if (after_point || count != 1) {
          return Err(Status::InvalidInput(fmt::format("mas de una V en la mascara {}", text)));
        }
        after_point = true;
        break;
      case 'P':
        add_digits(count);
        break;
      case '.':
        if (after_point || count != 1) {
          return Err(
              Status::InvalidInput(fmt::format("mas de un punto decimal en la mascara {}", text)));
        }
        after_point = true;
        picture.positions += 1;
        break;
      case ',':
      case '/':
      case 'B':
      case '0':
        if (symbol == '0') seen_digit_symbol = true;
        picture.positions += count;
        break;
      case '+':
      case '-':
      case '$': {
        if (symbol != '$') picture.is_signed = true;
        picture.positions += count;
        if (floating == '\0' && !seen_digit_symbol) floating = symbol;
        if (symbol == floating) {
          // The first symbol of a floating string only holds the sign or the currency sign;
          // every further one is a digit position as well.
          const std::int64_t digit_positions = floating_seen == 0 ? count - 1 : count;
          floating_seen += count;
          add_digits(digit_positions);
        }
        break;
      }
      case 'C':  // CR
      case 'D':  // DB
        if (width != 2) {
          return Err(Status::InvalidInput(
              fmt::format("simbolo {} no valido en la mascara {}", symbol, text)));
        }
        picture.is_signed = true;
        picture.positions += 2 * count;
        break;
      default:
        return Err(Status::InvalidInput(
            fmt::format("simbolo {} no valido en la mascara {}", symbol, text)));
    }
    pos = next;
  }
  return picture;
}

}  // namespace volmek::copybook
