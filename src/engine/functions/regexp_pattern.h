// Oracle's regular expressions written as ICU patterns.
//
// Oracle's syntax is POSIX's extended regular expressions with a few of Perl's additions
// (\d \D \w \W \s \S, \A \Z \z, lazy quantifiers *? +? ?? {n,m}?, back references \1..\9).
// ICU's syntax is Perl's, which gives other meanings to some of the same text: a backslash
// inside a bracket expression is a plain character in POSIX, `[` inside one opens a nested set
// in ICU, `{` that starts no interval is a plain character in POSIX, a quantifier with nothing
// before it is a plain character, `[[:alpha:]]`-style classes are POSIX's. ToIcuPattern reads
// the Oracle pattern and writes one ICU pattern that means the same, character for character;
// literals are written as \x{...} escapes so that no ICU syntax can appear by accident.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine::fn {

// The match_parameter of the REGEXP_ functions: 'i' case-insensitive, 'c' case-sensitive (the
// last of the two wins), 'n' the period matches a line end, 'm' ^ and $ match at each line's
// start and end, 'x' blanks in the pattern are ignored.
struct RegexpOptions {
  bool case_insensitive = false;
  bool dot_matches_newline = false;
  bool multiline = false;
  bool ignore_blanks = false;
};

// ORA-01760 for a letter outside "icnmx".
OraResult<RegexpOptions> ParseMatchParameter(std::string_view text);

// The ICU flags (UREGEX_*) the pattern from ToIcuPattern is to be compiled with.
std::uint32_t IcuFlags(const RegexpOptions& options);

// The ICU pattern for the Oracle `pattern` (UTF-8). Errors as Oracle gives them: ORA-12725
// unmatched parentheses, ORA-12726 unmatched bracket, ORA-12728 invalid range, ORA-12729
// invalid character class, ORA-12731 invalid collation class, ORA-12732 invalid interval;
// equivalence classes ([=a=]) are ORA-03001.
OraResult<std::string> ToIcuPattern(std::string_view pattern, const RegexpOptions& options);

}  // namespace volmek::engine::fn
