#include "copybook/reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/harness.h"

namespace volmek::copybook {
namespace {

// Fixed-format line: sequence area, blank indicator, text from column 8.
std::string Line(std::string_view text) { return "       " + std::string(text) + "\n"; }

FieldTable Read(const std::string& text) {
  Result<FieldTable> fields = ReadFields(text);
  EXPECT_TRUE(fields) << fields.error().message();
  return fields ? *fields : FieldTable{};
}

std::string ErrorOf(const std::string& text) {
  Result<FieldTable> fields = ReadFields(text);
  EXPECT_FALSE(fields);
  return fields ? "" : fields.error().message();
}

Field One(const std::string& entry) {
  FieldTable fields = Read(Line(entry));
  EXPECT_EQ(fields.size(), 1u) << entry;
  return fields.empty() ? Field{} : fields[0];
}

TEST(ReaderColumns, SequenceAndIdentificationAreasAreIgnored) {
  const FieldTable fields = Read(
      "000100 01  NOMINA.                                                      NOMINA  \n"
      "000200     05  NOM-EMPLEADO           PIC 9(6).                         NOMINA  \n");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].level, 1);
  EXPECT_EQ(fields[0].name, "NOMINA");
  EXPECT_EQ(fields[1].level, 5);
  EXPECT_EQ(fields[1].name, "NOM_EMPLEADO");
  EXPECT_EQ(fields[1].length, 6);
}

TEST(ReaderColumns, LettersInTheSequenceAreaAreIgnoredToo) {
  const FieldTable fields = Read("CLI001     05  A PIC X(3).\n");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].length, 3);
}

TEST(ReaderColumns, EntryWrittenFromColumnOneIsRead) {
  const FieldTable fields = Read("05 A PIC X(10).\n05 B PIC 9(2).\n");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "A");
  EXPECT_EQ(fields[1].length, 2);
}

TEST(ReaderColumns, AsteriskInColumnSevenSkipsTheLineWhateverItHolds) {
  const FieldTable fields = Read("      * 05 X PIC X.\n000200* 05 Y PIC X.\n      / 05 Z PIC X.\n" +
                                 Line("05 A PIC X(2). *> comentario"));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].name, "A");
}

TEST(ReaderColumns, AsteriskElsewhereIsNotACommentMark) {
  const FieldTable fields =
      Read(Line("05 A PIC X(2).") + "        * no comment\n" + Line("05 B PIC ***9."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].display_size, 4);
}

TEST(ReaderColumns, DebuggingLinesAreSkipped) {
  EXPECT_EQ(Read("      D 05 A PIC X.\n").size(), 0u);
}

TEST(ReaderLines, BlankLinesAndWordsOutsideEntriesAddNothing) {
  const FieldTable fields = Read("\n   \n" + Line("EJECT") + Line("05 A PIC X.") + "\n");
  ASSERT_EQ(fields.size(), 1u);
}

TEST(ReaderLines, EntryMayRunOverSeveralLines) {
  // The picture on the line after the name still belongs to the entry (it is not a group).
  const FieldTable fields = Read(Line("05 A") + Line("      PIC S9(7)V99") + Line("   COMP-3."));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_FALSE(fields[0].group);
  EXPECT_EQ(fields[0].length, 7);
  EXPECT_EQ(fields[0].decimals, 2);
  EXPECT_EQ(fields[0].usage, '3');
}

TEST(ReaderLines, OccursCountOnTheNextLineIsNotALevel) {
  const FieldTable fields = Read(Line("05 T OCCURS") + Line("    12 TIMES.") + Line("10 U PIC X."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].occurs, 12);
  EXPECT_EQ(fields[1].parent, 0);
}

TEST(ReaderLines, HyphenInColumnSevenContinuesTheWordBefore) {
  const FieldTable fields = Read(Line("05 A PIC 9(5)V") + "      -    99.\n");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].length, 5);
  EXPECT_EQ(fields[0].decimals, 2);
}

TEST(ReaderLines, MissingPeriodEndsTheEntryAtTheNextLevelNumber) {
  const FieldTable fields = Read(Line("05 A PIC X(2)") + Line("05 B PIC X(3)."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].length, 3);
}

TEST(ReaderLines, TwoEntriesOnOneLine) {
  const FieldTable fields = Read(Line("05 A PIC X. 05 B PIC 99."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].length, 2);
}

TEST(ReaderLines, CrLfLineEndsAndLastLineWithoutEnd) {
  const FieldTable fields = Read("       05 A PIC X(2).\r\n       05 B PIC X(3).");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].length, 3);
}

TEST(ReaderLines, EmptyCopybookHasNoEntries) { EXPECT_TRUE(Read("").empty()); }

TEST(ReaderNames, HyphensBecomeUnderscoresAndImpModGetPrefix) {
  const FieldTable fields =
      Read(Line("05 CLI-CODIGO PIC 9(5).") + Line("05 IMP PIC 9(5).") + Line("05 MOD PIC X.") +
           Line("05 MODO PIC X.") + Line("05 IMPORTE PIC 9."));
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].name, "CLI_CODIGO");
  EXPECT_EQ(fields[1].name, "K_IMP");
  EXPECT_EQ(fields[2].name, "K_MOD");
  EXPECT_EQ(fields[3].name, "MODO");
  EXPECT_EQ(fields[4].name, "IMPORTE");
}

TEST(ReaderNames, FillersAreNumberedOverTheWholeCopybook) {
  const FieldTable fields =
      Read(Line("01 R.") + Line("05 FILLER PIC X.") + Line("05 G.") + Line("10 filler PIC X.") +
           Line("05 PIC X(3).") + Line("05 VALUE 'A' PIC X."));
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[1].name, "FILLER1");
  EXPECT_EQ(fields[3].name, "FILLER2");
  EXPECT_EQ(fields[4].name, "FILLER3");
  EXPECT_EQ(fields[4].length, 3);
  EXPECT_EQ(fields[5].name, "FILLER4");
}

TEST(ReaderNames, LowerCaseCopybookIsReadAsUpperCase) {
  const FieldTable fields = Read(Line("01 prv-registro.") + Line("05 prv-nombre pic x(10).") +
                                 Line("05 prv-saldo pic s9(5)v99 comp-3."));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[1].name, "PRV_NOMBRE");
  EXPECT_EQ(fields[1].type, 'A');
  EXPECT_EQ(fields[1].length, 10);
  EXPECT_TRUE(fields[2].is_signed);
  EXPECT_EQ(fields[2].decimals, 2);
  EXPECT_EQ(fields[2].usage, '3');
}

TEST(ReaderPictures, EverySpellingGivesItsTypeLengthAndDecimals) {
  struct Case {
    const char* entry;
    char type;
    std::int64_t length;
    std::int64_t decimals;
    bool is_signed;
    std::int64_t positions;
  };
  const Case cases[] = {
      {"05 A PIC X(30).", 'A', 30, 0, false, 30},   {"05 A PIC XXXX.", 'A', 4, 0, false, 4},
      {"05 A PIC X.", 'A', 1, 0, false, 1},         {"05 A PIC 9.", 'N', 1, 0, false, 1},
      {"05 A PIC 9999.", 'N', 4, 0, false, 4},      {"05 A PIC 999V99.", 'N', 3, 2, false, 5},
      {"05 A PIC 9(5)V9(2).", 'N', 5, 2, false, 7}, {"05 A PIC 99V9(3).", 'N', 2, 3, false, 5},
      {"05 A PIC S9(7)V99.", 'N', 7, 2, true, 9},   {"05 A PIC S999.", 'N', 3, 0, true, 3},
      {"05 A PIC S9.", 'N', 1, 0, true, 1},         {"05 A PIC -999.", 'N', 3, 0, true, 4},
      {"05 A PIC -9(5).", 'N', 5, 0, true, 6},      {"05 A PIC -9.", 'N', 1, 0, true, 2},
      {"05 A PIC V99.", 'N', 0, 2, false, 2},       {"05 A PIC SV9(5).", 'N', 0, 5, true, 5},
      {"05 A PIC ZZ,ZZ9.99.", 'N', 5, 2, false, 9}, {"05 A PIC 99/99/9999.", 'N', 8, 0, false, 10},
      {"05 A PIC XXBXX.", 'A', 5, 0, false, 5},     {"05 A PIC Z(4)9.", 'N', 5, 0, false, 5},
      {"05 A PIC X(2)X.", 'A', 3, 0, false, 3},     {"05 A PIC -9(4).99.", 'N', 4, 2, true, 8},
      {"05 A PIC ---9.", 'N', 3, 0, true, 4},       {"05 A PIC 9(5)CR.", 'N', 5, 0, true, 7},
      {"05 A PIC 99PPP.", 'N', 5, 0, false, 2},     {"05 A PICTURE IS 9(4).", 'N', 4, 0, false, 4},
      {"05 A PIC IS X(2).", 'A', 2, 0, false, 2},   {"05 A pic s9(3)v9.", 'N', 3, 1, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    const Field field = One(c.entry);
    EXPECT_FALSE(field.group);
    EXPECT_EQ(field.type, c.type);
    EXPECT_EQ(field.length, c.length);
    EXPECT_EQ(field.decimals, c.decimals);
    EXPECT_EQ(field.is_signed, c.is_signed);
    EXPECT_EQ(field.display_size, c.positions);
  }
}

TEST(ReaderClauses, UsageWordsGiveTheirCodes) {
  const std::pair<const char*, char> cases[] = {
      {"PIC 9(4) COMP.", '0'},
      {"PIC 9(4) COMPUTATIONAL.", '0'},
      {"COMP-1.", '1'},
      {"USAGE COMP-2.", '2'},
      {"PIC 9(4) COMP-3.", '3'},
      {"PIC 9(4) COMPUTATIONAL-3.", '3'},
      {"PIC 9(4) PACKED-DECIMAL.", '3'},
      {"PIC 9(4) COMP-4.", '4'},
      {"PIC 9(4) BINARY.", '4'},
      {"PIC 9(4) COMP-5.", '5'},
      {"PIC 9(4) USAGE IS COMP.", '0'},
      {"PIC 9(4) DISPLAY.", ' '},
      {"PIC 9(4) USAGE DISPLAY.", ' '},
      {"PIC 9(4) comp-3.", '3'},
  };
  for (const auto& [clauses, usage] : cases) {
    SCOPED_TRACE(clauses);
    EXPECT_EQ(One(std::string("05 A ") + clauses).usage, usage);
  }
}

TEST(ReaderClauses, FloatingUsageWithoutPictureIsAnElementaryItem) {
  const Field field = One("05 A COMP-2.");
  EXPECT_FALSE(field.group);
  EXPECT_TRUE(field.is_float);
  EXPECT_EQ(field.type, 'N');
}

TEST(ReaderClauses, UsageOfAGroupPassesToItsItems) {
  const FieldTable fields =
      Read(Line("05 G COMP-3.") + Line("10 A PIC 9(5).") + Line("10 B PIC 9(5) DISPLAY."));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[1].usage, '3');
  EXPECT_EQ(fields[2].usage, ' ');
}

TEST(ReaderClauses, OccursInEveryPlace) {
  const Field group = One("05 T OCCURS 12 TIMES.");
  EXPECT_TRUE(group.group);
  EXPECT_EQ(group.occurs, 12);
  const Field after = One("05 T PIC 9(3) OCCURS 12.");
  EXPECT_FALSE(after.group);
  EXPECT_EQ(after.occurs, 12);
  EXPECT_EQ(after.length, 3);
  const Field before = One("05 T OCCURS 12 PIC 9(3).");
  EXPECT_EQ(before.occurs, 12);
  EXPECT_EQ(before.length, 3);
  const Field depending = One("05 T PIC X OCCURS 1 TO 20 TIMES DEPENDING ON N INDEXED BY I.");
  EXPECT_EQ(depending.occurs, 20);
}

TEST(ReaderClauses, SignSyncJustifiedBlankAndValueArePassedOver) {
  const FieldTable fields =
      Read(Line("05 A PIC S9(5) SIGN IS LEADING SEPARATE CHARACTER.") +
           Line("05 B PIC S9(5) TRAILING.") + Line("05 C PIC S9(9) COMP SYNC.") +
           Line("05 D PIC X(20) JUSTIFIED RIGHT.") + Line("05 E PIC 9(3) BLANK WHEN ZERO.") +
           Line("05 F PIC X(2) VALUE 'ES'.") + Line("05 G PIC 9(8) VALUE ZEROS.") +
           Line("05 H PIC X(6) VALUE 'A. B, '.") + Line("05 I PIC 9(3)V99 VALUE 40 COMP-3."));
  ASSERT_EQ(fields.size(), 9u);
  EXPECT_TRUE(fields[0].sign_separate);
  EXPECT_FALSE(fields[1].sign_separate);
  EXPECT_TRUE(fields[2].sync);
  EXPECT_EQ(fields[3].length, 20);
  EXPECT_EQ(fields[4].length, 3);
  EXPECT_EQ(fields[5].length, 2);
  EXPECT_EQ(fields[5].decimals, 0);
  EXPECT_EQ(fields[6].decimals, 0);
  EXPECT_EQ(fields[7].length, 6);
  EXPECT_EQ(fields[8].usage, '3');
}

TEST(ReaderClauses, LevelEightyEightAndSixtySixTakeNoEntry) {
  const FieldTable fields =
      Read(Line("01 R.") + Line("05 T PIC X.") + Line("88 T-FIJO VALUE 'F'.") +
           Line("88 T-VARIOS VALUES 'A' 'B'") + Line("              'C' THRU 'E'.") +
           Line("05 U PIC 9.") + Line("66 ALIAS RENAMES T THRU U."));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[2].name, "U");
}

TEST(ReaderRedefines, TargetIsFoundUnderItsNormalisedName) {
  const FieldTable fields =
      Read(Line("05 CLI-CODIGO PIC 9(5).") + Line("05 CLI-ALFA REDEFINES CLI-CODIGO PIC X(5)."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].redefines, -1);
  EXPECT_EQ(fields[1].redefines, 0);
}

TEST(ReaderRedefines, GroupRedefinitionIsAGroup) {
  const FieldTable fields = Read(Line("05 A PIC X(4).") + Line("05 B REDEFINES A.") +
                                 Line("10 B1 PIC 99.") + Line("10 B2 PIC 99."));
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_TRUE(fields[1].group);
  EXPECT_EQ(fields[1].redefines, 0);
  EXPECT_EQ(fields[2].parent, 1);
}

TEST(ReaderGroups, GroupWithoutPictureAndItsItems) {
  const FieldTable fields = Read(Line("05 CLI-DATOS.") + Line("10 CLI-NOMBRE PIC X(40)."));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_TRUE(fields[0].group);
  EXPECT_EQ(fields[0].name, "CLI_DATOS");
  EXPECT_EQ(fields[1].parent, 0);
  EXPECT_EQ(fields[1].line, 2);
}

class ReaderErrors : public ::testing::Test {};

TEST_F(ReaderErrors, RedefinesOfAnUnknownNameNamesItAndTheLine) {
  EXPECT_EQ(ErrorOf(Line("05 B REDEFINES A PIC X(4).")),
            "Campo (A) no localizado [3].\n       05 B REDEFINES A PIC X(4).\n");
}

TEST_F(ReaderErrors, RedefinesOfAnEntryOfAnotherLevelIsRefused) {
  EXPECT_EQ(ErrorOf(Line("05 G.") + Line("10 A PIC X.") + Line("05 B REDEFINES A PIC X.")),
            "Error de sintaxis en la linea 3: A no es un campo anterior del mismo nivel y grupo "
            "que B.\n       05 B REDEFINES A PIC X.\n");
}

TEST_F(ReaderErrors, MissingClosingParenthesis) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC X(4.")), "Esperado \")\"\n       05 A PIC X(4.\n");
}

TEST_F(ReaderErrors, BadLevelNumber) {
  EXPECT_EQ(ErrorOf(Line("01 R.") + Line("99 A PIC X.")),
            "Error de sintaxis en la linea 2: nivel 99 no valido.\n       99 A PIC X.\n");
}

TEST_F(ReaderErrors, UnknownClause) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC X OCURS 3.")),
            "Error de sintaxis en la linea 1: clausula OCURS no reconocida.\n"
            "       05 A PIC X OCURS 3.\n");
}

TEST_F(ReaderErrors, PicWithoutPicture) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC.")),
            "Error de sintaxis en la linea 1: falta la mascara tras PIC.\n       05 A PIC.\n");
}

TEST_F(ReaderErrors, OccursWithoutCount) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC X OCCURS TIMES.")),
            "Error de sintaxis en la linea 1: falta el numero de veces tras OCCURS.\n"
            "       05 A PIC X OCCURS TIMES.\n");
}

TEST_F(ReaderErrors, BadPictureSymbol) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC 9Q9.")),
            "Error de sintaxis en la linea 1: simbolo Q no valido en la mascara 9Q9.\n"
            "       05 A PIC 9Q9.\n");
}

TEST_F(ReaderErrors, HugeRepetitionCountIsRefusedNotWrapped) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC X(99999999999999999999).")),
            "Error de sintaxis en la linea 1: repeticion (99999999999999999999) no valida en la "
            "mascara X(99999999999999999999).\n       05 A PIC X(99999999999999999999).\n");
}

TEST_F(ReaderErrors, ElementaryItemCannotHaveSubordinates) {
  EXPECT_EQ(ErrorOf(Line("05 A PIC X.") + Line("10 B PIC X.")),
            "Error de sintaxis en la linea 2: el campo A no es un grupo y no puede tener "
            "subordinados.\n       10 B PIC X.\n");
}

TEST_F(ReaderErrors, ErrorLineOfAContinuedEntryIsTheLineAtFault) {
  EXPECT_EQ(ErrorOf(Line("05 A") + Line("   PIC X(2) RARO.")),
            "Error de sintaxis en la linea 2: clausula RARO no reconocida.\n"
            "          PIC X(2) RARO.\n");
}

TEST(ReaderFiles, PathAddsCpyOnlyToNamesWithoutPeriod) {
  Environment env;
  env.Set("KORVEL", "/k");
  EXPECT_EQ(*CopybookPath(env, "CLIENTES"), "/k/copys/CLIENTES.cpy");
  EXPECT_EQ(*CopybookPath(env, "CLIENTES.FD"), "/k/copys/CLIENTES.FD");
  EXPECT_EQ(*CopybookPath(env, ""), "/k/copys/.cpy");
}

TEST(ReaderFiles, MissingKorvelIsRefused) {
  Result<std::string> path = CopybookPath(Environment{}, "CLIENTES");
  ASSERT_FALSE(path);
  EXPECT_EQ(path.error().message(), "Definir variable de entorno KORVEL.\n\n");
}

TEST(ReaderFiles, MissingFileAndDirectory) {
  testing::TempDir dir;
  std::ostringstream out;
  Result<FieldTable> missing = ReadCopybookFile(dir.File("NADA.cpy"), false, out);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message(), "Programa " + dir.File("NADA.cpy") + " inexistente ...\n");
  Result<FieldTable> directory = ReadCopybookFile(dir.path(), false, out);
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().message(), "Error apertura programa " + dir.path() + " ...\n");
  EXPECT_EQ(out.str(), "");
}

TEST(ReaderFiles, EchoNamesTheFileOpened) {
  testing::TempDir dir;
  dir.Write("A.cpy", Line("05 A PIC X."));
  std::ostringstream out;
  Result<FieldTable> fields = ReadCopybookFile(dir.File("A.cpy"), true, out);
  ASSERT_TRUE(fields);
  EXPECT_EQ(out.str(), "Apertura fichero [" + dir.File("A.cpy") + "] \n");
}

TEST(ReaderLimits, ManyEntriesLongNamesAndLongLines) {
  std::string text = Line("01 R.");
  for (int item_idx = 0; item_idx < 6000; ++item_idx) {
    text += Line("05 C" + std::to_string(item_idx) + " PIC X.");
  }
  const std::string long_name(300, 'N');
  text += "05 " + long_name + " PIC X(3)." + std::string(20000, ' ') + "\n";
  const FieldTable fields = Read(text);
  ASSERT_EQ(fields.size(), 6002u);
  EXPECT_EQ(fields.back().name, long_name);
  EXPECT_EQ(fields.back().length, 3);
}

TEST(ReaderLimits, NulBytesInALineAreAFault) {
  using namespace std::string_literals;
  EXPECT_EQ(
      ErrorOf("       05 A\0 PIC X.\n"s),
      "Error de sintaxis en la linea 1: nombre de campo A\0 no valido.\n       05 A\0 PIC X.\n"s);
}

}  // namespace
}  // namespace volmek::copybook
