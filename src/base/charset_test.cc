#include "base/charset.h"

#include <gtest/gtest.h>

namespace volmek {
namespace {

Result<CharacterSet> FromNlsLang(const char* value) {
  Environment env;
  if (value != nullptr) env.Set("NLS_LANG", value);
  return ClientCharacterSet(env);
}

TEST(ClientCharacterSet, NlsLangNamesItAfterItsLastDotAndUtf8IsTheDefault) {
  EXPECT_EQ(FromNlsLang(nullptr)->iconv_name, "UTF-8");
  EXPECT_EQ(FromNlsLang("SPANISH_SPAIN")->iconv_name, "UTF-8");
  EXPECT_EQ(FromNlsLang("SPANISH_SPAIN.")->iconv_name, "UTF-8");
  EXPECT_EQ(FromNlsLang("SPANISH_SPAIN.WE8MSWIN1252")->iconv_name, "WINDOWS-1252");
  EXPECT_FALSE(FromNlsLang("SPANISH_SPAIN.WE8MSWIN1252")->utf8);
  EXPECT_EQ(FromNlsLang("american_america.al32utf8")->oracle_name, "AL32UTF8");
  EXPECT_TRUE(FromNlsLang("american_america.al32utf8")->utf8);
  EXPECT_EQ(FromNlsLang(".WE8ISO8859P15")->iconv_name, "ISO-8859-15");
  EXPECT_EQ(FromNlsLang("A.B.US7ASCII")->iconv_name, "ASCII");
  Result<CharacterSet> unknown = FromNlsLang("SIMPLIFIED CHINESE_CHINA.ZHS16GBK");
  ASSERT_FALSE(unknown.has_value());
  EXPECT_EQ(unknown.error().message(), "Juego de caracteres no admitido en NLS_LANG (ZHS16GBK).\n");
}

TEST(CharacterCount, Utf8CountsCharactersSingleByteSetsCountBytes) {
  CharacterSet windows{"WE8MSWIN1252", "WINDOWS-1252", false};
  EXPECT_EQ(CharacterCount("Nu\u00f1ez", CharacterSet::Utf8()), 5u);
  EXPECT_EQ(CharacterCount("\u20ac\U0001F600", CharacterSet::Utf8()), 2u);
  EXPECT_EQ(CharacterCount("Nu\xf1"
                           "ez",
                           windows),
            5u);
  EXPECT_EQ(CharacterCount("", CharacterSet::Utf8()), 0u);
}

TEST(InvalidUtf8At, FindsTheFirstMalformedSequence) {
  EXPECT_EQ(InvalidUtf8At("Nu\u00f1ez \u20ac \U0010FFFF"), std::string_view::npos);
  EXPECT_EQ(InvalidUtf8At("ab\x80"), 2u);  // a continuation byte alone
  EXPECT_EQ(InvalidUtf8At("ab\xc3"), 2u);  // cut short at the end
  EXPECT_EQ(InvalidUtf8At("a\xc3"
                          "b"),
            1u);                                     // cut short by an ASCII byte
  EXPECT_EQ(InvalidUtf8At("\xc0\x80"), 0u);          // overlong NUL
  EXPECT_EQ(InvalidUtf8At("\xe0\x80\x80"), 0u);      // overlong three bytes
  EXPECT_EQ(InvalidUtf8At("x\xed\xa0\x80"), 1u);     // a UTF-16 surrogate
  EXPECT_EQ(InvalidUtf8At("\xf4\x90\x80\x80"), 0u);  // past U+10FFFF
  EXPECT_EQ(InvalidUtf8At("\xff"), 0u);
}

TEST(TextConverter, ConvertsBothWaysAndStopsAtTheFirstCharacterItCannotWrite) {
  Result<TextConverter> to_windows = TextConverter::Open("UTF-8", "WINDOWS-1252");
  ASSERT_TRUE(to_windows.has_value());
  EXPECT_EQ(*to_windows->Convert("\u00bfA\u00f1o \u20ac?"),
            "\xbf"
            "A\xf1o \x80?");
  Result<std::string> lacking = to_windows->Convert("ab\u0142c");
  ASSERT_FALSE(lacking.has_value());
  EXPECT_EQ(lacking.error().message(), "2");  // the byte offset of the character
  // The converter is usable again after a failure.
  EXPECT_EQ(*to_windows->Convert("\u00e9"), "\xe9");
  Result<TextConverter> to_utf8 = TextConverter::Open("WINDOWS-1252", "UTF-8");
  ASSERT_TRUE(to_utf8.has_value());
  std::string long_text(20000, '\xf1');
  Result<std::string> grown = to_utf8->Convert(long_text);
  ASSERT_TRUE(grown.has_value());
  EXPECT_EQ(grown->size(), 40000u);
  EXPECT_EQ(grown->substr(0, 2), "\u00f1");
  EXPECT_FALSE(TextConverter::Open("UTF-8", "NO-SUCH-CODE-PAGE").has_value());
}

}  // namespace
}  // namespace volmek
