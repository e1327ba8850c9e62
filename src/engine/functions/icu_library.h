// ICU, for the regular expression functions and the case mapping of text beyond ASCII, loaded
// the first time one of them needs it rather than by every run at its start: most runs never
// call them, and mapping ICU in and relocating it cost each run about two milliseconds and
// over a MiB of memory before it logged on.
//
// The headers still describe the types and constants; the functions come through the pointers
// below, named as the installed ICU exports them (with its version suffix).
#pragma once

#include <unicode/uregex.h>
#include <unicode/utext.h>

#include <string>

namespace volmek::engine::fn {

struct IcuLibrary {
  UChar32 (*to_upper)(UChar32);
  UChar32 (*to_lower)(UChar32);
  UBool (*is_alnum)(UChar32);
  UText* (*text_open_utf8)(UText*, const char*, int64_t, UErrorCode*);
  UText* (*text_close)(UText*);
  URegularExpression* (*regex_open_utext)(UText*, uint32_t, UParseError*, UErrorCode*);
  void (*regex_close)(URegularExpression*);
  void (*regex_set_text)(URegularExpression*, const UChar*, int32_t, UErrorCode*);
  void (*regex_set_utext)(URegularExpression*, UText*, UErrorCode*);
  void (*regex_reset64)(URegularExpression*, int64_t, UErrorCode*);
  UBool (*regex_find_next)(URegularExpression*, UErrorCode*);
  int32_t (*regex_group_count)(URegularExpression*, UErrorCode*);
  int64_t (*regex_start64)(URegularExpression*, int32_t, UErrorCode*);
  int64_t (*regex_end64)(URegularExpression*, int32_t, UErrorCode*);
};

// The library, loaded on the first call (thread-safe); nullptr when it could not be, with the
// loader's reason in `*why` when given.
const IcuLibrary* Icu(std::string* why = nullptr);

}  // namespace volmek::engine::fn
