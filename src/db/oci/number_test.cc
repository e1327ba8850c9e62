#include "db/oci/number.h"

#include <gtest/gtest.h>

namespace volmek::db::oci {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Decode(const Bytes& bytes) { return DecodeVnu(bytes).value_or("<none>"); }

// The documented examples, byte for byte (length byte first).
TEST(VnuNumber, DocumentedFormsDecodeToExactText) {
  EXPECT_EQ(Decode({1, 0x80}), "0");
  EXPECT_EQ(Decode({2, 0xC1, 6}), "5");
  EXPECT_EQ(Decode({3, 0x3E, 96, 102}), "-5");
  EXPECT_EQ(Decode({2, 0xC2, 2}), "100");
  EXPECT_EQ(Decode({3, 0xC1, 13, 51}), "12.5");
  EXPECT_EQ(Decode({2, 0xBF, 11}), "0.001");
  EXPECT_EQ(Decode({3, 0x3F, 51, 102}), "-0.5");  // exponent -1, digit 50
  EXPECT_EQ(Decode({2, 0xC0, 26}), "0.25");
}

TEST(VnuNumber, EncodingMatchesTheDocumentedForms) {
  EXPECT_EQ(EncodeVnu("0"), (Bytes{1, 0x80}));
  EXPECT_EQ(EncodeVnu("-0.000"), (Bytes{1, 0x80}));
  EXPECT_EQ(EncodeVnu("5"), (Bytes{2, 0xC1, 6}));
  EXPECT_EQ(EncodeVnu("-5"), (Bytes{3, 0x3E, 96, 102}));
  EXPECT_EQ(EncodeVnu("100"), (Bytes{2, 0xC2, 2}));
  EXPECT_EQ(EncodeVnu("12.5"), (Bytes{3, 0xC1, 13, 51}));
  EXPECT_EQ(EncodeVnu(".001"), (Bytes{2, 0xBF, 11}));
  EXPECT_EQ(EncodeVnu("1e125"), (Bytes{2, 0xFF, 11}));
  EXPECT_EQ(EncodeVnu("1e-130"), (Bytes{2, 0x80, 2}));
}

TEST(VnuNumber, RoundTripsKeepEveryDigit) {
  const char* values[] = {"1",
                          "-1",
                          "99",
                          "-100",
                          "0.1",
                          "-0.01",
                          "123456789012345678901234567890123456789",
                          "-1234567890123456789012345678901234567.8",
                          "12345678901234.5678",
                          "9223372036854775807",
                          "-9223372036854775808",
                          "0.000000000000000000000000000000000000000123",
                          "99999999999999999999999999999999999999990000"};
  for (const char* value : values) {
    std::optional<Bytes> bytes = EncodeVnu(value);
    ASSERT_TRUE(bytes.has_value()) << value;
    EXPECT_EQ(Decode(*bytes), value);
  }
}

TEST(VnuNumber, LimitsOfTheRange) {
  std::string largest = "9." + std::string(39, '9') + "e125";
  std::optional<Bytes> top = EncodeVnu(largest);
  ASSERT_TRUE(top.has_value());
  EXPECT_EQ(Decode(*top), std::string(40, '9') + std::string(86, '0'));
  EXPECT_EQ(Decode(*EncodeVnu("-1e125")), "-1" + std::string(125, '0'));
  EXPECT_EQ(Decode(*EncodeVnu("1e-130")), "0." + std::string(129, '0') + "1");
  EXPECT_FALSE(EncodeVnu("1e126").has_value());
  EXPECT_FALSE(EncodeVnu("1e-131").has_value());
  // 41 significant digits do not fit in 20 base-100 digits.
  EXPECT_FALSE(EncodeVnu("1" + std::string(39, '0') + "1").has_value());
  // A negative number of 20 digits has no terminator.
  Bytes twenty = *EncodeVnu("-" + std::string(40, '1'));
  EXPECT_EQ(twenty.size(), 22u);
  EXPECT_EQ(Decode(twenty), "-" + std::string(40, '1'));
}

TEST(VnuNumber, MalformedValuesAndInfinitiesAreRefused) {
  EXPECT_EQ(DecodeVnu(Bytes{}), std::nullopt);
  EXPECT_EQ(DecodeVnu(Bytes{0}), std::nullopt);              // no number at all
  EXPECT_EQ(DecodeVnu(Bytes{3, 0xC1}), std::nullopt);        // length beyond the buffer
  EXPECT_EQ(DecodeVnu(Bytes{2, 0xC1, 0}), std::nullopt);     // digit byte 0
  EXPECT_EQ(DecodeVnu(Bytes{2, 0xC1, 102}), std::nullopt);   // digit 101
  EXPECT_EQ(DecodeVnu(Bytes{1, 0x00}), std::nullopt);        // -infinity
  EXPECT_EQ(DecodeVnu(Bytes{2, 0xFF, 0x65}), std::nullopt);  // +infinity
  EXPECT_FALSE(EncodeVnu("").has_value());
  EXPECT_FALSE(EncodeVnu("1x").has_value());
  EXPECT_FALSE(EncodeVnu("-").has_value());
}

TEST(VnuNumber, IntegerPartTruncatesTowardZeroAndRefusesOverflow) {
  EXPECT_EQ(IntegerPart("12.9"), 12);
  EXPECT_EQ(IntegerPart("-12.9"), -12);
  EXPECT_EQ(IntegerPart("-0.5"), 0);
  EXPECT_EQ(IntegerPart("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(IntegerPart("9223372036854775808"), std::nullopt);
  EXPECT_EQ(IntegerPart("1" + std::string(30, '0')), std::nullopt);
}

}  // namespace
}  // namespace volmek::db::oci
