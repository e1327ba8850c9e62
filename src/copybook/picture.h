// PICTURE character-strings: what a picture says about its item's type, digits and size.
//
// A picture is one word, read whole (ZZ,ZZ9.99 and 99/99/9999 included). A symbol followed by
// a count in parentheses stands for that many of it: S9(7)V99 is S, seven 9s, V and two 9s.
// Symbols are recognised in any letter case.
//
//   X A        one character each; any X or A makes the item alphanumeric
//   9 Z *      one digit position each
//   S          the item is signed; takes no byte (SIGN ... SEPARATE gives it one)
//   V          the implied decimal point; takes no byte
//   P          a scaling position: a digit of the value that takes no byte
//   .          the printed decimal point: one byte; the digit positions after it are decimals
//   , / B 0    insertion characters: one byte each
//   + - $      one byte each; the item is signed for + and -; repeated (floating insertion),
//              every one after the first is also a digit position
//   CR DB      two bytes, the item is signed
//
// Examples: X(30) is 30 characters; S9(7)V99 has 7 integer digits and 2 decimals in 9
// positions; -9(5) is 5 digits in 6 positions; ZZ,ZZ9.99 is 5 + 2 digits in 9 positions;
// 99/99/9999 is 8 digits in 10 positions.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/status.h"

namespace volmek::copybook {

struct Picture {
  bool alphanumeric = false;        // X or A in it
  bool is_signed = false;           // S, + or -, CR or DB
  std::int64_t positions = 0;       // bytes of the item in display usage (S not counted)
  std::int64_t integer_digits = 0;  // digit positions before the decimal point (P included)
  std::int64_t decimals = 0;        // digit positions after it (P included)
};

// The meaning of picture `text`. Fails with kInvalidInput and a message without line end:
// "Esperado \")\"" for a count whose ")" is missing, otherwise a description of the fault
// ("repeticion (0) no valida en la mascara X(0)", "simbolo Q no valido en la mascara 9Q", ...).
Result<Picture> ParsePicture(std::string_view text);

}  // namespace volmek::copybook
