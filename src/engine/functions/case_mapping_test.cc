#include "engine/functions/case_mapping.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string>

#include "engine/functions/icu_library.h"

namespace volmek::engine::fn {
namespace {

std::string Utf8(UChar32 c) {
  char buffer[U8_MAX_LENGTH];
  std::int32_t written = 0;
  UBool error = false;
  U8_APPEND(reinterpret_cast<std::uint8_t*>(buffer), written, U8_MAX_LENGTH, c, error);
  EXPECT_FALSE(error) << c;
  return std::string(buffer, static_cast<std::size_t>(written));
}

// ASCII is mapped without ICU: it must come out as ICU maps it, character by character.
TEST(CaseMapping, AsciiMapsAsIcuDoes) {
  std::string why;
  const IcuLibrary* icu = Icu(&why);
  ASSERT_NE(icu, nullptr) << why;
  for (UChar32 c = 0; c < 0x80; ++c) {
    const std::string text(1, static_cast<char>(c));
    EXPECT_EQ(*MapCase(text, CaseMapping::kUpper), Utf8(icu->to_upper(c))) << c;
    EXPECT_EQ(*MapCase(text, CaseMapping::kLower), Utf8(icu->to_lower(c))) << c;
    // A word's first character goes upper case, the one after a letter or digit lower case.
    EXPECT_EQ(*MapCase("a" + text, CaseMapping::kInitcap), "A" + Utf8(icu->to_lower(c))) << c;
    const bool alnum = icu->is_alnum(c) != 0;
    EXPECT_EQ(*MapCase(text + "a", CaseMapping::kInitcap),
              Utf8(icu->to_upper(c)) + (alnum ? "a" : "A"))
        << c;
  }
}

// Words run across ASCII and other characters alike; bytes that are no UTF-8 stay and end a word.
TEST(CaseMapping, WordsAndBytesAcrossAsciiAndBeyond) {
  EXPECT_EQ(*MapCase("ñandú x1y éa-b", CaseMapping::kInitcap), "Ñandú X1y Éa-B");
  EXPECT_EQ(*MapCase("año Ñu", CaseMapping::kUpper), "AÑO ÑU");
  EXPECT_EQ(*MapCase("ÁÉÍ ÓÚ", CaseMapping::kLower), "áéí óú");
  EXPECT_EQ(*MapCase("a\xff"
                     "b\xc3",
                     CaseMapping::kInitcap),
            "A\xff"
            "B\xc3");
}

}  // namespace
}  // namespace volmek::engine::fn
