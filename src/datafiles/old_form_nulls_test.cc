#include "datafiles/old_form_nulls.h"

#include <gtest/gtest.h>

namespace volmek::datafiles {
namespace {

// Columns: ID NUMBER, NOMBRE CHAR(4), ALTA DATE, SALDO NUMBER.
const std::vector<bool> kKinds{true, false, true, true};

TEST(OldFormNulls, BlanksInNumberAndDateColumnsBecomeNull) {
  // The bug: these lines were refused with ORA-01722 (number) and ORA-01840 (date).
  std::string line = "1,'    ','         ','" + std::string(18, ' ') + "'";
  ASSERT_TRUE(MayHoldBlankValue(line));
  EXPECT_EQ(BlanksToNull(line, kKinds), "1,'    ',NULL,NULL");
}

TEST(OldFormNulls, OtherValuesAndCharacterColumnsStayAsTheyAre) {
  EXPECT_EQ(BlanksToNull("1,'AB  ','2025-12-08 00:00:00',2.50", kKinds), std::nullopt);
  EXPECT_EQ(BlanksToNull("1,'    ',NULL,3", kKinds), std::nullopt);
  // An empty text is a NULL already; a value with something besides blanks is a value.
  EXPECT_EQ(BlanksToNull("1,'A','',' 7 '", kKinds), std::nullopt);
  EXPECT_FALSE(MayHoldBlankValue("1,'AB  ',NULL,3"));
}

TEST(OldFormNulls, OldApostropheInsideATextComesOutDoubled) {
  EXPECT_EQ(BlanksToNull("1,'VAL'E','  ',4", kKinds), "1,'VAL''E',NULL,4");
}

TEST(OldFormNulls, ColumnsBeyondTheKnownOnesAndBrokenLinesAreLeftAlone) {
  EXPECT_EQ(BlanksToNull("1,'A',NULL,4,'  '", kKinds), std::nullopt);
  EXPECT_EQ(BlanksToNull("'  ", kKinds), std::nullopt);
  EXPECT_EQ(BlanksToNull("'  '", {}), std::nullopt);
}

}  // namespace
}  // namespace volmek::datafiles
