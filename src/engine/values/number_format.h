// Oracle number format models: TO_CHAR(n, fmt) and TO_NUMBER(text, fmt).
//
// Elements (case-insensitive):
//   9      a digit; leading zeros show as blanks          0   a digit, zeros shown
//   . D    the decimal point                              , G  a group separator
//   $      a leading dollar sign                          L    the local currency ("$")
//   S      leading or trailing sign (+ or -)              MI   trailing minus (blank if >= 0)
//   PR     negatives in <angle brackets>                  B    blanks for zero
//   EEEE   scientific notation ("9.99EEEE")               X    hexadecimal digit (integers >= 0)
//   FM     fill mode: no leading or trailing blanks, no trailing decimal zeros in 9 positions
//   TM TM9 text minimum: the shortest text, as TO_CHAR(n) without a format
// Without S, MI or PR the result has one more character than the model, in front, for the sign
// of negatives. The value is rounded to the model's decimals; a value with more integer digits
// than the model holds prints as '#' characters, the model's width plus one.
//
// Examples: to_char(12.5, '999.99') = "  12.50", to_char(-12.5, '999.99') = " -12.50",
// to_char(0.5, '990.99') = "   0.50", to_char(5, '0009') = " 0005", to_char(1234567, '9,999,999')
// = " 1,234,567", to_char(12.5, 'FM999.99') = "12.5", to_char(1234.5, '9.99EEEE') = "  1.23E+03".
#pragma once

#include <string>
#include <string_view>

#include "engine/values/number.h"

namespace volmek::engine {

// ORA-01481: invalid number format model.
OraError InvalidNumberFormat();

OraResult<std::string> FormatNumber(const Decimal& value, std::string_view format);

// Reads `text` written in `format` (group separators, currency signs, sign elements and
// hexadecimal models are understood). ORA-01722 when the text does not fit the model.
OraResult<Decimal> ParseNumber(std::string_view text, std::string_view format);

}  // namespace volmek::engine
