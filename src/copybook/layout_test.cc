#include "copybook/layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "copybook/reader.h"
#include "testing/harness.h"

namespace volmek::copybook {
namespace {

std::string Line(std::string_view text) { return "       " + std::string(text) + "\n"; }

Layout LayOut(const std::string& text) {
  Result<FieldTable> fields = ReadFields(text);
  EXPECT_TRUE(fields) << fields.error().message();
  if (!fields) return {};
  Result<Layout> layout = LayOutFields(std::move(*fields));
  EXPECT_TRUE(layout) << layout.error().message();
  return layout ? *layout : Layout{};
}

const Field& Named(const Layout& layout, std::string_view name) {
  for (const Field& field : layout.fields) {
    if (field.name == name) return field;
  }
  ADD_FAILURE() << "no field " << name;
  static const Field kNone;
  return kNone;
}

std::int64_t SizeOf(const std::string& entry) {
  const Layout layout = LayOut(Line(entry));
  return layout.fields.empty() ? -1 : layout.fields[0].length;
}

TEST(LayoutSizes, DisplayItemsTakeOneBytePerPosition) {
  EXPECT_EQ(SizeOf("05 A PIC X(30)."), 30);
  EXPECT_EQ(SizeOf("05 A PIC S9(7)V99."), 9);
  EXPECT_EQ(SizeOf("05 A PIC -9(5)."), 6);
  EXPECT_EQ(SizeOf("05 A PIC -999."), 4);
  EXPECT_EQ(SizeOf("05 A PIC ZZ,ZZ9.99."), 9);
  EXPECT_EQ(SizeOf("05 A PIC 99/99/9999."), 10);
  EXPECT_EQ(SizeOf("05 A PIC V99."), 2);
}

TEST(LayoutSizes, SeparateSignTakesItsOwnByte) {
  EXPECT_EQ(SizeOf("05 A PIC S9(5) SIGN LEADING SEPARATE."), 6);
  EXPECT_EQ(SizeOf("05 A PIC S9(5) SIGN IS TRAILING SEPARATE CHARACTER."), 6);
  EXPECT_EQ(SizeOf("05 A PIC S9(5) SIGN TRAILING."), 5);
}

TEST(LayoutSizes, BinaryTakesTwoFourOrEightBytes) {
  EXPECT_EQ(SizeOf("05 A PIC 9(4) COMP."), 2);
  EXPECT_EQ(SizeOf("05 A PIC 9(5) COMP."), 4);
  EXPECT_EQ(SizeOf("05 A PIC 9(9) COMP."), 4);
  EXPECT_EQ(SizeOf("05 A PIC 9(10) COMP."), 8);
  EXPECT_EQ(SizeOf("05 A PIC 9(18) COMP."), 8);
  EXPECT_EQ(SizeOf("05 A PIC 9(19) COMP."), 19);
  EXPECT_EQ(SizeOf("05 A PIC 9(1) COMP."), 2);
  EXPECT_EQ(SizeOf("05 A PIC S9(7)V99 BINARY."), 4);
  EXPECT_EQ(SizeOf("05 A PIC 9(2) COMP-4."), 2);
}

TEST(LayoutSizes, NativeBinaryTakesOneByteForTwoDigits) {
  EXPECT_EQ(SizeOf("05 A PIC S9(2) COMP-5."), 1);
  EXPECT_EQ(SizeOf("05 A PIC S9(4) COMP-5."), 2);
  EXPECT_EQ(SizeOf("05 A PIC 9(9) COMP-5."), 4);
}

TEST(LayoutSizes, PackedTakesHalfTheDigitsPlusOne) {
  EXPECT_EQ(SizeOf("05 A PIC S9(7)V99 COMP-3."), 5);
  EXPECT_EQ(SizeOf("05 A PIC 9(4) COMP-3."), 3);
  EXPECT_EQ(SizeOf("05 A PIC 9 COMP-3."), 1);
  EXPECT_EQ(SizeOf("05 A PIC S9(7)V99 PACKED-DECIMAL."), 5);
  EXPECT_EQ(SizeOf("05 A PIC SV9(5) COMP-3."), 3);
}

TEST(LayoutSizes, FloatingPointTakesFourOrEightBytes) {
  EXPECT_EQ(SizeOf("05 A COMP-1."), 4);
  EXPECT_EQ(SizeOf("05 A USAGE COMP-2."), 8);
  EXPECT_EQ(SizeOf("05 A PIC 9(6) COMP-1."), 4);
}

TEST(LayoutSizes, PrecisionIsTheDigitCount) {
  const Layout layout = LayOut(Line("05 A PIC 9(4) COMP.") + Line("05 B PIC X(7).") +
                               Line("05 C PIC S9(7)V99 COMP-3."));
  EXPECT_EQ(Named(layout, "A").precision, 4);
  EXPECT_EQ(Named(layout, "B").precision, 7);
  EXPECT_EQ(Named(layout, "C").precision, 9);
}

// The bug: -999 gave precision 3 (DEC (3,0)), the printed sign position left out of the count.
TEST(LayoutSizes, LeadingMinusCountsInThePrecisionNotInTheSize) {
  const Layout layout = LayOut(Line("05 NEGA PIC -999.") + Line("05 DEC PIC -9(4).99.") +
                               Line("05 MAS PIC +999.") + Line("05 FLOT PIC ---9."));
  EXPECT_EQ(Named(layout, "NEGA").precision, 4);
  EXPECT_EQ(Named(layout, "NEGA").length, 4);
  EXPECT_EQ(Named(layout, "DEC").precision, 7);
  EXPECT_EQ(Named(layout, "DEC").decimals, 2);
  EXPECT_EQ(Named(layout, "DEC").length, 8);
  EXPECT_EQ(Named(layout, "MAS").precision, 3);
  EXPECT_EQ(Named(layout, "FLOT").precision, 4);
  EXPECT_EQ(Named(layout, "FLOT").length, 4);
}

TEST(LayoutPositions, ElementaryRedefinitionLiesOverItsTarget) {
  const Layout layout =
      LayOut(Line("05 P PIC X(10).") + Line("05 A PIC X(4).") + Line("05 B REDEFINES A PIC 9(4)."));
  EXPECT_EQ(Named(layout, "A").position, 10);
  EXPECT_EQ(Named(layout, "B").position, 10);
  EXPECT_EQ(layout.record_length, 14);
  EXPECT_EQ(Named(layout, "B").redefinition_size, 4);
  EXPECT_EQ(Named(layout, "A").largest_redefinition, 4);
  EXPECT_EQ(Named(layout, "A").redefinition_size, 0);
}

TEST(LayoutPositions, RedefiningGroupStartsAtItsTarget) {
  const Layout layout = LayOut(Line("05 P PIC X(2).") + Line("05 G.") + Line("10 G1 PIC X(6).") +
                               Line("05 H REDEFINES G.") + Line("10 H1 PIC X(2).") +
                               Line("10 H2 PIC 9(4).") + Line("05 Z PIC X."));
  EXPECT_EQ(Named(layout, "H").position, 2);
  EXPECT_EQ(Named(layout, "H1").position, 2);
  EXPECT_EQ(Named(layout, "H2").position, 4);
  EXPECT_EQ(Named(layout, "Z").position, 8);
  EXPECT_EQ(layout.record_length, 9);
}

TEST(LayoutPositions, LongerRedefinitionLengthensTheRecord) {
  const Layout layout =
      LayOut(Line("05 A PIC X(2).") + Line("05 B REDEFINES A PIC X(5).") + Line("05 C PIC X."));
  EXPECT_EQ(Named(layout, "C").position, 5);
  EXPECT_EQ(layout.record_length, 6);
}

TEST(LayoutPositions, OccursGroupAdvancesByAllItsOccurrences) {
  const Layout layout = LayOut(Line("05 P PIC X(10).") + Line("05 T OCCURS 3.") +
                               Line("10 U PIC X(2).") + Line("10 W PIC X(2)."));
  EXPECT_EQ(Named(layout, "T").position, 10);
  EXPECT_EQ(Named(layout, "U").position, 10);
  EXPECT_EQ(Named(layout, "W").position, 12);
  EXPECT_EQ(layout.record_length, 22);
}

TEST(LayoutPositions, NestedOccursGroupsMultiply) {
  const Layout layout =
      LayOut(Line("05 T OCCURS 3.") + Line("10 T2 OCCURS 2.") + Line("15 U PIC X."));
  EXPECT_EQ(Named(layout, "U").position, 0);
  EXPECT_EQ(Named(layout, "T2").position, 0);
  EXPECT_EQ(Named(layout, "T2").extent, 1);
  EXPECT_EQ(Named(layout, "T").extent, 2);
  EXPECT_EQ(layout.record_length, 6);
}

TEST(LayoutPositions, SiblingsOfAnInnerTableFollowIt) {
  const Layout layout =
      LayOut(Line("05 A PIC X(4).") + Line("05 Z OCCURS 3.") + Line("10 P OCCURS 2.") +
             Line("15 H PIC 9(3).") + Line("10 T PIC X.") + Line("05 F PIC X."));
  EXPECT_EQ(Named(layout, "H").position, 4);
  EXPECT_EQ(Named(layout, "T").position, 10);
  EXPECT_EQ(Named(layout, "Z").extent, 7);
  EXPECT_EQ(Named(layout, "F").position, 25);
}

TEST(LayoutPositions, RedefinitionInsideAnOccursGroupLiesOverItsTarget) {
  const Layout layout = LayOut(Line("05 U OCCURS 2.") + Line("10 C PIC X(4).") +
                               Line("10 N REDEFINES C PIC 9(4).") + Line("10 K PIC 9(3)."));
  EXPECT_EQ(Named(layout, "N").position, 0);
  EXPECT_EQ(Named(layout, "K").position, 4);
  EXPECT_EQ(layout.record_length, 14);
}

TEST(LayoutPositions, ElementaryOccursAdvancesBySizeTimesCount) {
  const Layout layout = LayOut(Line("05 A PIC 9(4) COMP OCCURS 5.") + Line("05 B PIC X."));
  EXPECT_EQ(Named(layout, "A").length, 2);
  EXPECT_EQ(Named(layout, "B").position, 10);
}

TEST(LayoutPositions, SynchronizedBinaryIsAlignedToItsSize) {
  const Layout layout = LayOut(
      Line("01 R.") + Line("05 A PIC X(3).") + Line("05 B PIC S9(9) COMP SYNC.") +
      Line("05 C PIC X.") + Line("05 D PIC S9(4) COMP SYNCHRONIZED.") + Line("05 E PIC X SYNC."));
  EXPECT_EQ(Named(layout, "B").position, 4);
  EXPECT_EQ(Named(layout, "C").position, 8);
  EXPECT_EQ(Named(layout, "D").position, 10);
  EXPECT_EQ(Named(layout, "E").position, 12);
  EXPECT_EQ(layout.record_length, 13);
}

TEST(LayoutPositions, EveryRecordStartsAtZero) {
  const Layout layout =
      LayOut(Line("01 R1.") + Line("05 A PIC X(10).") + Line("01 R2.") + Line("05 B PIC X(4).") +
             Line("01 R3 REDEFINES R1.") + Line("05 C PIC X(2)."));
  EXPECT_EQ(Named(layout, "R2").position, 0);
  EXPECT_EQ(Named(layout, "B").position, 0);
  EXPECT_EQ(Named(layout, "C").position, 0);
  EXPECT_EQ(layout.record_length, 10);
}

TEST(LayoutPositions, GroupWithoutOccursTakesNoStorageOfItsOwn) {
  const Layout layout = LayOut(Line("05 G.") + Line("10 A PIC X(3).") + Line("05 B PIC X."));
  EXPECT_EQ(Named(layout, "G").length, 0);
  EXPECT_EQ(Named(layout, "G").extent, 3);
  EXPECT_EQ(Named(layout, "B").position, 3);
}

TEST(LayoutErrors, RecordTooLargeForSixtyFourBitsIsRefused) {
  Result<FieldTable> fields =
      ReadFields(Line("05 T OCCURS 999999999.") + Line("10 U OCCURS 999999999.") +
                 Line("15 V PIC X(999999999) OCCURS 999999999."));
  ASSERT_TRUE(fields);
  Result<Layout> layout = LayOutFields(std::move(*fields));
  ASSERT_FALSE(layout);
  EXPECT_EQ(layout.error().message(), "El campo U ocupa demasiados bytes.\n");
}

// A copybook with an elementary and a group redefinition, and its multi-record file.
const char kRedefCopybook[] =
    "       01  REG.\n"
    "           05  A            PIC X(4).\n"
    "           05  B REDEFINES A PIC 9(4).\n"
    "           05  G.\n"
    "               10  G1       PIC 99.\n"
    "           05  H REDEFINES G.\n"
    "               10  H1       PIC X.\n"
    "               10  H2       PIC X.\n"
    "           05  N            PIC S9(3) COMP-3.\n";
const char kRedefMultiRecord[] =
    "# registro multiple\n"
    "R000100000003\n"
    "0000010002CABECERA|\n"
    "0100030004DETALLE\n";

class LayoutDump : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("copys"));
    dir_.Write("copys/REDEF.fr", kRedefMultiRecord);
    env_.Set("KORVEL", dir_.path());
  }
  testing::TempDir dir_;
  Environment env_;
};

TEST_F(LayoutDump, TraceAndDumpOfRedefinitionsAndMultiRecordFile) {
  Result<FieldTable> fields = ReadFields(kRedefCopybook);
  ASSERT_TRUE(fields);
  std::ostringstream out;
  Result<Layout> layout = RunFieldLayout(std::move(*fields), env_, "REDEF", true, out);
  ASSERT_TRUE(layout) << layout.error().message();
  const std::string path = dir_.File("copys/REDEF.fr");
  const std::string expected =
      "Multiregistros definidos ...\n"
      "Apertura fichero [" +
      path +
      "] \n"
      "R000100000003\n"
      "rede -> 1,0,3\n"
      "0000010002CABECERA|\n"
      "\t0 (1,2) [CABECERA]\n"
      "0100030004DETALLE\n"
      "\t1 (3,4) [DETALLE]\n"
      "\tcaso 3\n"
      "Campo REG (0)  gru=1  rede=(-1)  repe=(0)  posi=(0)\n"
      "\tcaso 3\n"
      "Campo A (1)  gru=0  rede=(-1)  repe=(0)  posi=(0)\n"
      "\tcaso 0\n"
      "Campo B (2)  gru=0  rede=(1)  repe=(0)  posi=(0)\n"
      "\tcaso 3\n"
      "Campo G (3)  gru=1  rede=(-1)  repe=(0)  posi=(4)\n"
      "\tcaso 3\n"
      "Campo G1 (4)  gru=0  rede=(-1)  repe=(0)  posi=(4)\n"
      "\tcaso 1\n"
      "Campo H2 (7)  gru=0  rede=(-1)  repe=(0)  posi=(5)\n"
      "\tcaso 3\n"
      "Campo N (8)  gru=0  rede=(-1)  repe=(0)  posi=(6)\n"
      "Control de redefines --------------------------- \n"
      "\t0  1 (0,3)\n"
      "\t\t0  ca(2,1)  bu(1,2)  [CABECERA]\n"
      "\t\t1  ca(2,2)  bu(3,4)  [DETALLE]\n"
      "\t\t2  ca(4,4)  bu(-1,-1)  []\n"
      "\t\t3  ca(6,7)  bu(-1,-1)  []\n"
      "Redefines usados ------------------------------- \n"
      "\t0  1 - [A]  (0,4) (2,1)  -> ultrede=2 \n"
      "\t1  2 - [B]  (4,-1) (2,2)   -> [A] (0) \n"
      "\t2  3 - [G]  (2,2) (4,4)  -> ultrede=7 \n"
      "\t3  5 - [H]  (2,-1) (6,7)   -> [G] (2) \n"
      "\n"
      "Campos definidos ------------------------------- \n"
      "0 - REG 1 1    0  0      re(0) red(-1) lo(0,0,0)  po(0)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "1 - A   0 5 A  4  0      re(0) red(-1) lo(4,0,4)  po(0)i mr(4)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "2 - B   0 5 N  4  0      re(0) red(1) lo(4,0,4)  po(0)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "3 - G   1 5    0  0      re(0) red(-1) lo(0,0,0)  po(4)i mr(2)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "4 - G1  0 10 N  2  0      re(0) red(-1) lo(2,0,2)  po(4)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "5 - H   1 5    0  0      re(0) red(3) lo(0,0,0)  po(4)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "6 - H1  0 10 A  1  0      re(0) red(-1) lo(1,0,1)  po(4)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "7 - H2  0 10 A  1  0      re(0) red(-1) lo(1,0,1)  po(5)i mr(-1)i signo(0)\n"
      "\t\t\t\t0-0-0\n"
      "8 - N   0 5 N  2  1   3  re(0) red(-1) lo(2,0,3)  po(6)i mr(-1)i signo(1)\n"
      "\t\t\t\t0-0-0\n"
      "---->  long_regis = 8 \n";
  EXPECT_EQ(out.str(), expected);
}

TEST_F(LayoutDump, NoMultiRecordFileAndNoRedefinitionsGiveHeadingsOnly) {
  Result<FieldTable> fields = ReadFields(Line("05 A PIC X."));
  ASSERT_TRUE(fields);
  std::ostringstream out;
  Result<Layout> layout = RunFieldLayout(std::move(*fields), env_, "SOLO", true, out);
  ASSERT_TRUE(layout);
  EXPECT_EQ(out.str(),
            "\tcaso 3\n"
            "Campo A (0)  gru=0  rede=(-1)  repe=(0)  posi=(0)\n"
            "Control de redefines --------------------------- \n"
            "Redefines usados ------------------------------- \n"
            "\n"
            "Campos definidos ------------------------------- \n"
            "0 - A 0 5 A  1  0      re(0) red(-1) lo(1,0,1)  po(0)i mr(-1)i signo(0)\n"
            "\t\t\t\t0-0-0\n"
            "---->  long_regis = 1 \n");
}

TEST_F(LayoutDump, WithoutEchoOnlyTheMultiRecordLineIsPrinted) {
  Result<FieldTable> fields = ReadFields(kRedefCopybook);
  ASSERT_TRUE(fields);
  std::ostringstream out;
  Result<Layout> layout = RunFieldLayout(std::move(*fields), env_, "REDEF", false, out);
  ASSERT_TRUE(layout);
  EXPECT_EQ(out.str(), "Multiregistros definidos ...\n");
  ASSERT_EQ(layout->redefinitions.size(), 4u);
  EXPECT_EQ(layout->redefinitions[0].name, "CABECERA");
  EXPECT_EQ(layout->redefinitions[1].first_value, 3);
}

TEST_F(LayoutDump, MissingKorvelIsRefused) {
  std::ostringstream out;
  Result<Layout> layout = RunFieldLayout({}, Environment{}, "X", false, out);
  ASSERT_FALSE(layout);
  EXPECT_EQ(layout.error().message(), "Definir variable de entorno KORVEL.\n\n");
}

class MultiRecordFile : public ::testing::Test {
 protected:
  Status Read(const std::string& text, bool echo = false) {
    std::istringstream in(text);
    return ReadMultiRecord(in, echo, out_, layout_);
  }
  Layout layout_;
  std::ostringstream out_;
};

TEST_F(MultiRecordFile, ControlLineGivesItsThreeNumbers) {
  ASSERT_TRUE(Read("R0001 0000002\n").ok());
  ASSERT_EQ(layout_.controls.size(), 1u);
  EXPECT_EQ(layout_.controls[0].key, 1);
  EXPECT_EQ(layout_.controls[0].range_first, 0);
  EXPECT_EQ(layout_.controls[0].range_last, 2);
}

TEST_F(MultiRecordFile, LaterLineWithTheSameNumberReplacesTheEarlier) {
  ASSERT_TRUE(Read("0200010001UNO\r\n0200020002DOS").ok());
  ASSERT_EQ(layout_.redefinitions.size(), 3u);
  EXPECT_EQ(layout_.redefinitions[2].name, "DOS");
  EXPECT_EQ(layout_.redefinitions[2].first_value, 2);
  EXPECT_EQ(layout_.redefinitions[0].first_value, -1);
  EXPECT_EQ(layout_.redefinitions[0].name, "");
}

TEST_F(MultiRecordFile, NameIsCutAtThirtyFiveCharactersAndLosesOneBar) {
  ASSERT_TRUE(Read("0000010001" + std::string(40, 'N') + "\n0100010001AB||\n").ok());
  EXPECT_EQ(layout_.redefinitions[0].name, std::string(35, 'N'));
  EXPECT_EQ(layout_.redefinitions[1].name, "AB|");
}

TEST_F(MultiRecordFile, EntryNumbersBeyondOneHundredAreKept) {
  ASSERT_TRUE(Read("9900010001ULTIMO\n").ok());
  ASSERT_EQ(layout_.redefinitions.size(), 100u);
  EXPECT_EQ(layout_.redefinitions[99].name, "ULTIMO");
}

TEST_F(MultiRecordFile, NegativeEntryNumberIsRefused) {
  const Status status = Read("# c\n-100010001MAL\n");
  EXPECT_EQ(status.message(),
            "Linea 2 del fichero multirregistro: numero de redefinicion -1 no valido.\n");
}

TEST_F(MultiRecordFile, CommentAndBlankLinesArePassedOver) {
  ASSERT_TRUE(Read("# R0001\n\n   \n", true).ok());
  EXPECT_TRUE(layout_.controls.empty());
  EXPECT_TRUE(layout_.redefinitions.empty());
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
}  // namespace volmek::copybook
