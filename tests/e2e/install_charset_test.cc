// The client character set carried through the chain: Spanish text through a script, backup,
// restore, sql's columns and traspaso's Windows-1252 bulk-load file.
#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class InstallCharset : public ::testing::Test {
 protected:
  void Load(const std::string& script, const std::map<std::string, std::string>& env = {}) {
    dir_.Write("alta.sql", script);
    ProgramResult load = Volmek(dir_, {"fsql", "alta.sql"}, env);
    ASSERT_EQ(load.status, 0) << load.out;
    ASSERT_EQ(load.out.find("Error"), std::string::npos) << load.out;
  }
  TempDir dir_;
};

TEST_F(InstallCharset, SpanishTextTravelsThroughBackupRestoreSqlAndTraspaso) {
  Load(
      "create table p (id number(3), nombre varchar2(10), ciudad varchar2(8))\n;\n"
      "insert into p values (1, 'Nu\u00f1ez', 'Le\u00f3n')\n;\n"
      "insert into p values (2, 'Ruiz', '\u00c1vila')\n;\n");
  ASSERT_EQ(Volmek(dir_, {"backup", "P"}).status, 0);
  const std::string text_file =
      "1,'Nu\u00f1ez','Le\u00f3n'\n"
      "2,'Ruiz','\u00c1vila'\n";
  EXPECT_EQ(dir_.Read("P.txt"), text_file);  // written in the client character set, UTF-8

  ASSERT_EQ(Volmek(dir_, {"sql", "delete from p"}).status, 0);
  ProgramResult restore = Volmek(dir_, {"restore", "P"});
  EXPECT_EQ(restore.out, "Restore P con 2 filas recuperadas.\n");

  // Each column starts at the same character on every line: the ñ and the accents take two
  // bytes but one place.
  ProgramResult query = Volmek(dir_, {"sql", "select nombre, ciudad, id from p order by id"});
  EXPECT_EQ(query.out,
            "\n"
            "NOMBRE     CIUDAD                   ID \n"
            "---------- -------- ------------------ \n"
            "\n"
            "Nu\u00f1ez      Le\u00f3n                      1 \n"
            "Ruiz       \u00c1vila                     2 \n"
            "\n"
            "volmek. 2 filas procesada.\n");

  ASSERT_EQ(Volmek(dir_, {"traspaso", "txt"}).status, 0);
  EXPECT_EQ(dir_.Read("p.bcp"),
            "0~1~Nu\xf1"
            "ez~Le\xf3n\n"
            "0~2~Ruiz~\xc1vila\n");
  EXPECT_EQ(dir_.Read("P.txt"), text_file);
}

TEST_F(InstallCharset, TraspasoStopsAtACharacterThatWindows1252Lacks) {
  dir_.Write("P.txt", "1,'Lodz'\n2,'\u0141\u00f3d\u017a'\n");
  ProgramResult run = Volmek(dir_, {"traspaso", "txt"});
  EXPECT_EQ(
      run.out,
      CreationWarning(dir_.File("test.db")) +
          "Trata: p.txt\n"
          "Fichero P.txt, linea 2, columna 2: el caracter \"\u0141\" no existe en Windows-1252, "
          "la pagina de codigos del fichero bcp.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir_.Exists("p.bcp"));
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(InstallCharset, Windows1252ClientReadsAndWritesItsFilesInWindows1252) {
  // Its script, table text file and sql output are Windows-1252; the database between them
  // keeps UTF-8.
  const std::map<std::string, std::string> windows = {{"NLS_LANG", "SPANISH_SPAIN.WE8MSWIN1252"}};
  Load(
      "create table p (id number(3), nombre varchar2(6))\n;\n"
      "insert into p values (1, 'Nu\xf1"
      "ez')\n;\n",
      windows);
  ASSERT_EQ(Volmek(dir_, {"backup", "P"}, windows).status, 0);
  EXPECT_EQ(dir_.Read("P.txt"),
            "1,'Nu\xf1"
            "ez'\n");
  ProgramResult query = Volmek(dir_, {"sql", "select nombre, id from p"}, windows);
  EXPECT_NE(query.out.find("\nNu\xf1"
                           "ez                   1 \n"),
            std::string::npos)
      << query.out;
  ASSERT_EQ(Volmek(dir_, {"traspaso", "txt"}, windows).status, 0);
  EXPECT_EQ(dir_.Read("p.bcp"),
            "0~1~Nu\xf1"
            "ez\n");
  // The database keeps UTF-8: a UTF-8 client reads the same name in UTF-8.
  ProgramResult utf8 = Volmek(dir_, {"sql", "select nombre from p"});
  EXPECT_NE(utf8.out.find("\nNu\u00f1ez "), std::string::npos) << utf8.out;
}

TEST_F(InstallCharset, UnknownCharacterSetIsRefusedBeforeTheLogon) {
  ProgramResult run =
      Volmek(dir_, {"sql", "select 1 from dual"}, {{"NLS_LANG", "JAPANESE_JAPAN.JA16SJIS"}});
  EXPECT_EQ(run.out, "Juego de caracteres no admitido en NLS_LANG (JA16SJIS).\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir_.Exists("test.db"));
}

}  // namespace
}  // namespace volmek::testing
