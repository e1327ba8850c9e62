// Bad input for every operation: names that cannot go into a statement, input files with binary
// bytes, NUL, CR LF or no final line end, empty files, missing settings, files that change or
// vanish while they are read, and outputs that cannot be written. Each case checks the message,
// the exit status and that nothing the run should not touch was touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

using namespace std::string_literals;

// What sql prints before the rows of T or U.
constexpr std::string_view kHeading =
    "\n                 A B          \n------------------ ---------- \n\n";

// 31 characters: one more than an Oracle identifier may have.
const std::string kLongName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ12345";

std::string NotAnIdentifier(const std::string& name) {
  return "Error. Nombre de tabla no valido (" + name + "). No se modifica nada.\n";
}

std::string TooLong(const std::string& name) {
  return "Error. Nombre de tabla demasiado largo (" + name +
         "): mas de 30 caracteres. No se modifica nada.\n";
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    Script(
        "create table T (A number(5), B varchar2(10))\n;\n"
        "insert into T values (1, 'uno')\n;\ninsert into T values (2, 'dos')\n;\n"
        "create table U (A number(5), B varchar2(10))\n;\n"
        "insert into U values (7, 'siete')\n;\n");
    before_t_ = Contents("T");
    before_u_ = Contents("U");
  }

  void Script(const std::string& text) {
    dir_.Write("PASO.sql", text);
    ProgramResult run = Volmek(dir_, {"fsql", "PASO.sql"});
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_EQ(run.out.find("Error"), std::string::npos) << run.out;
  }

  ProgramResult Run(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& extra = {},
                    const std::string& stdin_text = "") {
    return Volmek(dir_, args, extra, stdin_text);
  }

  // The rows of `table` in key order, as sql prints them.
  std::string Contents(const std::string& table) {
    ProgramResult run = Run({"sql", "select * from " + table + " order by 1, 2"});
    EXPECT_EQ(run.status, 0) << run.out;
    return run.out;
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
  std::string before_t_;
  std::string before_u_;
};

// --- Names ---------------------------------------------------------------------------------

struct NameCase {
  std::vector<std::string> args;
  std::string shown;  // the name as the refusal shows it
};

// The operations that take table names, each with a name that would change the statement it
// goes into, or the utility's command line. The operations that work on one table name get it
// upper-cased; the others get it as typed.
std::vector<NameCase> NotIdentifierCases() {
  return {
      {{"info", "t where 1=0"}, "T WHERE 1=0"},
      {{"estadis", "t;x"}, "T;X"},
      {{"backup", "T where 1=0"}, "T where 1=0"},
      {{"backup", "../T"}, "../T"},
      {{"restore", "T'"}, "T'"},
      {{"add", "T;"}, "T;"},
      {{"exp", "T U"}, "T U"},
      {{"imp", "T\"x"}, "T\"x"},
      {{"salvalf", "t u", "t.lf"}, "T U"},
      {{"delete", "t where a=1"}, "T WHERE A=1"},
      {{"borra", "t u"}, "T U"},
      {{"repro", "t;", "v"}, "T;"},
      {{"reproa", "t", "v w"}, "V W"},
      {{"dupestru", "v'", "t"}, "V'"},
      {{"info", ""}, ""},
  };
}

TEST_F(BadInput, NameThatIsNoIdentifierIsRefusedAndNothingIsDone) {
  dir_.Write("T.txt", "9,'nueve'\n");
  std::vector<std::string> files = Files();
  for (const NameCase& c : NotIdentifierCases()) {
    ProgramResult run = Run(c.args, {{"TEST", "1"}});
    std::string shown = c.args[0] + " " + c.args[1];
    EXPECT_EQ(run.status, 1) << shown << "\n" << run.out;
    // Only the logon and the refusal: no statement was sent.
    EXPECT_EQ(run.out.find("sql: "), std::string::npos) << shown << "\n" << run.out;
    EXPECT_NE(run.out.find(NotAnIdentifier(c.shown)), std::string::npos) << shown << "\n"
                                                                         << run.out;
    EXPECT_EQ(Files(), files) << shown;
  }
  EXPECT_EQ(Contents("T"), before_t_);
  EXPECT_EQ(Contents("U"), before_u_);
}

TEST_F(BadInput, NameOverThirtyCharactersIsRefusedWhole) {
  dir_.Write(kLongName + ".txt", "9,'nueve'\n");
  std::vector<std::string> files = Files();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"info", kLongName},
                                             {"estadis", kLongName},
                                             {"backup", kLongName},
                                             {"restore", kLongName},
                                             {"add", kLongName},
                                             {"exp", kLongName},
                                             {"imp", kLongName},
                                             {"salvalf", kLongName, "t.lf"}}) {
    ProgramResult run = Run(args);
    EXPECT_EQ(run.out, TooLong(kLongName)) << args[0];
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_EQ(Files(), files) << args[0];
  }
}

TEST_F(BadInput, MaintenanceOperationsRefuseANameOverThirtyCharacters) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"delete", kLongName},
                                             {"borra", kLongName},
                                             {"repro", "T", kLongName},
                                             {"reproa", kLongName, "U"},
                                             {"dupestru", kLongName, "T"},
                                             {"sort", "-i1" + kLongName, "-oT"},
                                             {"sort", "-i1T", "-o" + kLongName}}) {
    ProgramResult run = Run(args, {{"TEST", "1"}});
    EXPECT_NE(run.out.find(TooLong(kLongName)), std::string::npos) << args[0] << "\n" << run.out;
    EXPECT_EQ(run.out.find("sql: "), std::string::npos) << args[0] << "\n" << run.out;
    EXPECT_EQ(run.status, 1) << args[0] << "\n" << run.out;
  }
  EXPECT_EQ(Contents("T"), before_t_);
  EXPECT_EQ(Contents("U"), before_u_);
}

TEST_F(BadInput, NameOfExactlyThirtyCharactersIsUsed) {
  const std::string name = kLongName.substr(0, 30);
  Script("create table " + name + " (A number(5), B varchar2(10))\n;\n");
  dir_.Write(name + ".txt", "3,'tres'\n");
  ProgramResult restored = Run({"restore", name});
  EXPECT_EQ(restored.out, "Restore " + name + " con 1 fila recuperada.\n");
  EXPECT_EQ(restored.status, 0);
  std::filesystem::create_directory(dir_.File("copia"));
  ProgramResult saved = Run({"backup", name}, {{"BACKUP", dir_.File("copia")}});
  EXPECT_EQ(saved.out, "Backup " + name + " con 1 fila procesada.\n");
  EXPECT_EQ(ReadFile(dir_.File("copia/" + name + ".txt")), "3,'tres'\n");
}

// One refused name among several: that name is refused, the others are done (and kept), and
// the run ends with status 1.
TEST_F(BadInput, BadNameAmongSeveralIsSkippedAndTheRunEndsWithStatusOne) {
  const std::string refusals = NotAnIdentifier("T;U") + TooLong(kLongName);
  std::filesystem::create_directory(dir_.File("copia"));
  ProgramResult saved =
      Run({"backup", "T", "T;U", kLongName, "U"}, {{"BACKUP", dir_.File("copia")}});
  EXPECT_EQ(saved.out,
            "Backup T con 2 filas procesada.\n" + refusals + "Backup U con 1 fila procesada.\n");
  EXPECT_EQ(saved.status, 1);
  EXPECT_EQ(ReadFile(dir_.File("copia/U.txt")), "7,'siete'\n");

  dir_.Write("T.txt", "5,'cinco'\n");
  dir_.Write("U.txt", "6,'seis'\n");
  ProgramResult restored = Run({"restore", "T", "T;U", kLongName, "U"});
  EXPECT_EQ(restored.out,
            "Restore T con 1 fila recuperada.\n" + refusals + "Restore U con 1 fila recuperada.\n");
  EXPECT_EQ(restored.status, 1);
  ProgramResult added = Run({"add", "T", "T;U", kLongName, "U"});
  EXPECT_EQ(added.out,
            "Add T con 1 fila recuperada.\n" + refusals + "Add U con 1 fila recuperada.\n");
  EXPECT_EQ(added.status, 1);
  // The work done for the good names is kept.
  EXPECT_EQ(Contents("T"), std::string(kHeading) +
                               "                 5 cinco      \n"
                               "                 5 cinco      \n\nvolmek. 2 filas procesada.\n");
  EXPECT_EQ(Contents("U"), std::string(kHeading) +
                               "                 6 seis       \n"
                               "                 6 seis       \n\nvolmek. 2 filas procesada.\n");
}

// A table whose quoted name holds a blank or a semicolon is listed by the database like any
// other; the all-table passes refuse it and go on.
TEST_F(BadInput, AllFormsRefuseAListedNameThatIsNoIdentifierAndGoOn) {
  Script("create table \"T U\" (A number)\n;\ncreate table \"V;W\" (A number)\n;\n");
  dir_.Write("T.txt", "1,'uno'\n2,'dos'\n");
  dir_.Write("U.txt", "7,'siete'\n");
  struct Case {
    std::string operation;
    std::string expected;
  };
  for (const Case& c : std::vector<Case>{
           {"backup", "Backup T con 2 filas procesada.\n" + NotAnIdentifier("T U") +
                          "Backup U con 1 fila procesada.\n" + NotAnIdentifier("V;W")},
           {"restore", "Restore T con 2 filas recuperadas.\n" + NotAnIdentifier("T U") +
                           "Restore U con 1 fila recuperada.\n" + NotAnIdentifier("V;W")},
           {"estadis", "Actualizado T.\n" + NotAnIdentifier("T U") + "Actualizado U.\n" +
                           NotAnIdentifier("V;W")},
       }) {
    ProgramResult run = Run({c.operation, "all"});
    EXPECT_EQ(run.out, c.expected) << c.operation;
    EXPECT_EQ(run.status, 1) << c.operation;
  }
  ProgramResult info = Run({"info", "all"});
  EXPECT_NE(info.out.find(NotAnIdentifier("T U")), std::string::npos) << info.out;
  EXPECT_NE(info.out.find(NotAnIdentifier("V;W")), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Tabla: U "), std::string::npos) << info.out;
  EXPECT_EQ(info.status, 1);
  EXPECT_FALSE(dir_.Exists("T U.txt"));
  EXPECT_EQ(Contents("T"), before_t_);

  // borra all refuses the same names and drops the others; its pass ends normally.
  ProgramResult dropped = Run({"borra", "all"}, {}, "S\n");
  EXPECT_NE(dropped.out.find(NotAnIdentifier("T U")), std::string::npos) << dropped.out;
  EXPECT_EQ(dropped.status, 0);
  ProgramResult left = Run({"sql", "select count(*) from user_tables"});
  EXPECT_NE(left.out.find("                 2 \n"), std::string::npos) << left.out;
}

// --- Missing parameters ---------------------------------------------------------------------

TEST_F(BadInput, EveryOperationWithoutParametersPrintsTheUsage) {
  ProgramResult usage = Run({});
  ASSERT_EQ(usage.status, 1);
  for (std::string op :
       {"sql",    "fsql",     "fiche", "info",    "estadis",  "backup", "restore",
        "add",    "salvalf",  "exp",   "imp",     "delete",   "borra",  "repro",
        "reproa", "dupestru", "sort",  "creacpy", "catalogo", "genera", "traspaso"}) {
    ProgramResult run = Run({op});
    EXPECT_EQ(run.out, usage.out) << op;
    EXPECT_EQ(run.status, 1) << op;
  }
}

TEST_F(BadInput, SecondNameMissing) {
  ProgramResult salvalf = Run({"salvalf", "T"});
  EXPECT_EQ(salvalf.out, "Imposible abrir fichero copia ().\n");
  EXPECT_EQ(salvalf.status, 1);
  for (std::string op : {"reproa", "dupestru"}) {
    ProgramResult run = Run({op, "T"});
    EXPECT_EQ(run.status, 1) << op << "\n" << run.out;
    EXPECT_FALSE(run.out.empty()) << op;
  }
  EXPECT_EQ(Contents("T"), before_t_);
}

TEST_F(BadInput, CompanionsWithoutArgumentsSayHowToCallThem) {
  for (std::string program : {"volmek-exp", "volmek-imp"}) {
    ProgramRun run;
    run.program = program;
    run.env = EmbeddedEnv(dir_.File("test.db"));
    run.cwd = dir_.path();
    run.close_stdin = true;
    ProgramResult result = volmek::testing::Run(run);
    EXPECT_NE(result.status, 0) << program;
    EXPECT_FALSE(result.out.empty() && result.err.empty()) << program;
  }
}

// --- Settings -------------------------------------------------------------------------------

TEST_F(BadInput, MissingUserOrPasswordIsTheLogonRefusal) {
  for (std::string variable : {"NOMBREBD", "PASSWD"}) {
    ProgramRun run;
    run.program = "volmek";
    run.args = {"backup", "T"};
    run.env = EmbeddedEnv(dir_.File("test.db"));
    run.env.erase(variable);
    run.cwd = dir_.path();
    run.close_stdin = true;
    ProgramResult result = volmek::testing::Run(run);
    EXPECT_EQ(result.status, 1) << variable;
    EXPECT_TRUE(result.out.starts_with("No se puede establecer conexion con Base de Datos"))
        << variable << "\n"
        << result.out;
    EXPECT_FALSE(dir_.Exists("T.txt")) << variable;
  }
}

TEST_F(BadInput, UnsetBackupWritesToTheCurrentDirectory) {
  ProgramRun run;
  run.program = "volmek";
  run.args = {"backup", "T"};
  run.env = EmbeddedEnv(dir_.File("test.db"));
  run.env.erase("BACKUP");
  run.cwd = dir_.path();
  ProgramResult result = volmek::testing::Run(run);
  EXPECT_EQ(result.out, "Backup T con 2 filas procesada.\n");
  EXPECT_EQ(dir_.Read("T.txt"), "1,'uno'\n2,'dos'\n");
}

// --- Input file contents --------------------------------------------------------------------

TEST_F(BadInput, BinaryBytesAndNulInATableTextFileTravelWholeOrAreRejected) {
  Script("create table R (A number(5), B varchar2(20))\n;\n");
  const std::string binary = "1,'\x01\x7f\xfe\xff\xc3\xb1'\n";
  dir_.Write("R.txt", binary);
  ProgramResult restored = Run({"restore", "R"});
  EXPECT_EQ(restored.out, "Restore R con 1 fila recuperada.\n");
  ASSERT_EQ(Run({"backup", "R"}).status, 0);
  EXPECT_EQ(dir_.Read("R.txt"), binary);

  // A NUL inside a quoted value is part of the value: it is stored and written back whole,
  // never cut there.
  const std::string with_nul = "2,'an\0tes'\n3,'tres'\n"s;
  dir_.Write("R.txt", with_nul);
  ProgramResult restored_nul = Run({"restore", "R"});
  EXPECT_EQ(restored_nul.out, "Restore R con 2 filas recuperadas.\n");
  EXPECT_EQ(restored_nul.status, 0);
  ProgramResult length = Run({"sql", "select length(b) from R where a = 2"});
  EXPECT_NE(length.out.find("                 6 \n"), std::string::npos) << length.out;
  ASSERT_EQ(Run({"backup", "R"}).status, 0);
  EXPECT_EQ(dir_.Read("R.txt"), with_nul);

  // A NUL or binary bytes outside a quoted value make the line fail alone.
  dir_.Write("R.txt", "4\0,'x'\n\xff\xfe\n5,'cinco'\n"s);
  ProgramResult bad = Run({"restore", "R"});
  EXPECT_NE(bad.out.find("Error de Oracle"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("Restore R con 3 filas recuperadas.\nWarning. 2 filas rechazadas.\n"),
            std::string::npos)
      << bad.out;
  EXPECT_EQ(bad.status, 1);
}

TEST_F(BadInput, NulAndBinaryBytesInScriptsAreReportedStatementByStatement) {
  dir_.Write("MAL.sql",
             "insert into T values (3, 'an\0tes')\n;\n\xff\xfe\x01\n;\n"
             "insert into T values (4, 'cuatro')\n"s);
  ProgramResult fsql = Run({"fsql", "mal.sql"});
  EXPECT_EQ(fsql.status, 0) << fsql.out;
  EXPECT_NE(fsql.out.find("Error de Oracle"), std::string::npos) << fsql.out;
  ProgramResult count = Run({"sql", "select count(*) from T where a = 3 and length(b) = 6"});
  EXPECT_NE(count.out.find("                 1 \n"), std::string::npos) << count.out;

  dir_.Write("MAL.TXT", "delete from T where a > 2\n;\n\0\x01\x02\n;\n"s);
  ProgramResult fiche = Run({"fiche", "MAL.TXT"});
  EXPECT_EQ(fiche.status, 0) << fiche.out;
  EXPECT_NE(fiche.out.find("Error de Oracle"), std::string::npos) << fiche.out;
  EXPECT_EQ(Contents("T"), before_t_);
}

// creacpy over the record dictionary; W is an earlier table of the copybook's name that a refused
// copybook must leave as it was.
class BadCopybook : public BadInput {
 protected:
  void SetUp() override {
    BadInput::SetUp();
    std::string xtables = ReadFile(SourcePath("sql/xtables.sql"));
    ASSERT_FALSE(xtables.empty());
    Script(xtables);
    Script("create table W (A number(5), B varchar2(10))\n;\ninsert into W values (1, 'uno')\n;\n");
    std::filesystem::create_directory(dir_.File("copys"));
  }
  ProgramResult Creacpy(const std::string& copybook) {
    WriteFile(dir_.File("copys/W.cpy"), copybook);
    return Run({"creacpy", "W", "W"}, {{"KORVEL", dir_.path()}});
  }
};

TEST_F(BadCopybook, NulOrBinaryBytesAreRefusedAndTheTableKept) {
  const std::string w = Contents("W");
  ProgramResult nul = Creacpy("       05 A PIC X(4).\0\n"s);
  EXPECT_EQ(nul.out,
            "Error de sintaxis en la linea 1: simbolo \0 no valido en la mascara X(4).\0.\n"
            "       05 A PIC X(4).\0\n"s);
  EXPECT_EQ(nul.status, 1);
  ProgramResult binary = Creacpy("       05 A\xff PIC X(4).\n");
  EXPECT_EQ(binary.out,
            "Error de sintaxis en la linea 1: nombre de campo A\xff no valido.\n"
            "       05 A\xff PIC X(4).\n");
  EXPECT_EQ(binary.status, 1);
  EXPECT_EQ(Contents("W"), w);
}

TEST_F(BadCopybook, EmptyCopybookOrOneOfNulsIsRefusedAndTheTableKept) {
  const std::string w = Contents("W");
  for (const std::string& text : {""s, "\0\0\0\0"s, "      * solo un comentario\n"s}) {
    ProgramResult run = Creacpy(text);
    EXPECT_EQ(run.out, "El copy " + dir_.File("copys/W.cpy") +
                           " no define ningun campo. No se modifica nada.\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Contents("W"), w);
  }
}

TEST_F(BadCopybook, MultiRecordFileWithBinaryBytesAndCrLfDoesNotStopTheCopybook) {
  WriteFile(dir_.File("copys/W.fr"), "\0\xff\x01garbage\r\nR\xfe\n"s);
  ProgramResult run = Creacpy("       01 W.\n           05 A PIC X(4).\n");
  EXPECT_EQ(run.out, "Multiregistros definidos ...\n");
  EXPECT_EQ(run.status, 0);
  ProgramResult rows = Run({"sql", "select nombre, longitud from xcampo where indice = 'W'"});
  EXPECT_NE(rows.out.find("\nA  "), std::string::npos) << rows.out;
}

// Lines that are not part of a listing (no heading, no column line) give no DDL.
TEST_F(BadInput, CatalogueListingOfNulOrBinaryBytesGivesNoDdl) {
  for (const std::string& text : {"\0\0\0\n"s, "TABLA\xff\xfe\n\x01\x02\n"s}) {
    dir_.Write("catalogo.txt", text);
    ProgramResult run = Run({"genera", "all"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(dir_.Read("genera.sql"), "");
  }
}

TEST_F(BadInput, PlusScriptWithNulAndBinaryBytesIsReportedAndGoesOn) {
  dir_.Write("MAL.sql",
             "select a from T where b = 'an\0tes';\n\xff\xfe;\nspool salida.txt\n"
             "select a from T order by a;\nspool off\nquit\n"s);
  ProgramRun run;
  run.program = "volmek-plus";
  run.args = {"MAL.sql"};
  run.env = EmbeddedEnv(dir_.File("test.db"));
  run.cwd = dir_.path();
  run.close_stdin = true;
  ProgramResult plus = volmek::testing::Run(run);
  EXPECT_EQ(plus.status, 0) << plus.out;
  EXPECT_NE(dir_.Read("salida.txt").find("1"), std::string::npos) << dir_.Read("salida.txt");
}

TEST_F(BadInput, TableTextFileWithNulGoesWholeToTheBulkLoadFile) {
  dir_.Write("R.txt", "1,'an\0tes'\n"s);
  ProgramResult run = Run({"traspaso", "txt"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(dir_.Read("r.bcp"), "0~1~an\0tes\n"s);
}

TEST_F(BadInput, CrLfAndNoFinalLineEndInATableTextFile) {
  dir_.Write("T.txt", "3,'tres'\r\n4,'cuatro'");
  ProgramResult run = Run({"restore", "T"});
  EXPECT_EQ(run.out, "Restore T con 2 filas recuperadas.\n");
  ProgramResult rows = Run({"sql", "select b from T order by a"});
  EXPECT_NE(rows.out.find("\ntres       \ncuatro     \n"), std::string::npos) << rows.out;
}

TEST_F(BadInput, EmptyScriptsRunNothing) {
  dir_.Write("VACIO.sql", "");
  ProgramResult fsql = Run({"fsql", "vacio.sql"});
  EXPECT_EQ(fsql.out, "fichero (VACIO.sql)  extension (SQL) \nEjecutando VACIO.sql...\n");
  EXPECT_EQ(fsql.status, 0);
  dir_.Write("VACIO.TXT", "");
  ProgramResult fiche = Run({"fiche", "VACIO.TXT"});
  EXPECT_EQ(fiche.out, "Ejecuta el fichero (VACIO.TXT)\nEjecutando VACIO.TXT...\n");
  EXPECT_EQ(fiche.status, 0);
}

// --- Files that change while they are read --------------------------------------------------

// A run of volmek in the background, its standard output going to a file.
class Background {
 public:
  Background(const TempDir& dir, const std::vector<std::string>& args) : out_(dir.File("out")) {
    std::map<std::string, std::string> env = EmbeddedEnv(dir.File("test.db"));
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int devnull = open("/dev/null", O_RDONLY);
      dup2(devnull, 0);
      dup2(out, 1);
      std::vector<std::string> strings{BuiltBinary("volmek")};
      strings.insert(strings.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& s : strings) argv.push_back(s.data());
      argv.push_back(nullptr);
      std::vector<std::string> env_strings;
      for (const auto& [k, v] : env) env_strings.push_back(k + "=" + v);
      std::vector<char*> envp;
      for (auto& s : env_strings) envp.push_back(s.data());
      envp.push_back(nullptr);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      Finish();
    }
  }

  // Waits until the run has `path` open and has read some of it. False when the run ended
  // first.
  bool WaitUntilReading(const std::string& path) {
    std::string target = std::filesystem::canonical(path).string();
    for (int attempt = 0; attempt < 10000; ++attempt) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        finished_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
      }
      std::error_code error;
      std::string fds = fmt::format("/proc/{}/fd", pid_);
      for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        std::error_code link_error;
        if (std::filesystem::read_symlink(entry.path(), link_error).string() != target) continue;
        std::string info =
            ReadFile(fmt::format("/proc/{}/fdinfo/{}", pid_, entry.path().filename().string()));
        std::size_t pos = info.find("pos:");
        if (pos != std::string::npos && std::stoll(info.substr(pos + 4)) > 0) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  ProgramResult Finish() {
    if (!finished_) {
      int status = 0;
      waitpid(pid_, &status, 0);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      finished_ = true;
    }
    ProgramResult result;
    result.out = ReadFile(out_);
    result.status = status_;
    return result;
  }

 private:
  std::string out_;
  pid_t pid_ = -1;
  bool finished_ = false;
  int status_ = -1;
};

std::string ManyRows(int count, std::size_t* cut = nullptr) {
  std::string lines;
  for (int row = 0; row < count; ++row) {
    if (cut != nullptr && row == count / 2) *cut = lines.size();
    lines += fmt::format("{},'n{}'\n", row + 10, row);
  }
  return lines;
}

TEST_F(BadInput, RestoreOfAFileRemovedWhileReadLoadsItToItsEnd) {
  dir_.Write("T.txt", ManyRows(90000));
  Background run(dir_, {"restore", "T"});
  if (!run.WaitUntilReading(dir_.File("T.txt"))) GTEST_SKIP() << "the restore ended too soon";
  ASSERT_EQ(unlink(dir_.File("T.txt").c_str()), 0);
  ProgramResult result = run.Finish();
  EXPECT_EQ(result.out, "Restore T con 90000 filas recuperadas.\n");
  EXPECT_EQ(result.status, 0);
}

TEST_F(BadInput, RestoreOfAFileCutShortWhileReadChangesNothing) {
  std::size_t cut = 0;
  dir_.Write("T.txt", ManyRows(90000, &cut));
  Background run(dir_, {"restore", "T"});
  if (!run.WaitUntilReading(dir_.File("T.txt"))) GTEST_SKIP() << "the restore ended too soon";
  // Cut at a line end: what is left reads as a complete, shorter file.
  ASSERT_EQ(truncate(dir_.File("T.txt").c_str(), static_cast<off_t>(cut)), 0);
  ProgramResult result = run.Finish();
  EXPECT_EQ(result.out, "Imposible leer fichero restore (T.txt).\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Contents("T"), before_t_);
}

TEST_F(BadInput, ScriptRemovedWhileReadRunsToItsEnd) {
  std::string script;
  for (int row = 0; row < 20000; ++row)
    script += fmt::format("insert into U values ({}, 'x')\n;\n", row);
  dir_.Write("LARGO.sql", script);
  Background run(dir_, {"fsql", "LARGO.sql"});
  if (!run.WaitUntilReading(dir_.File("LARGO.sql"))) GTEST_SKIP() << "the script ended too soon";
  ASSERT_EQ(unlink(dir_.File("LARGO.sql").c_str()), 0);
  ProgramResult result = run.Finish();
  EXPECT_EQ(result.status, 0) << result.out;
  ProgramResult count = Run({"sql", "select count(*) from U"});
  EXPECT_NE(count.out.find("             20001 \n"), std::string::npos) << count.out;
}

TEST_F(BadInput, RestoreFromAPipeReadsWhatTheWriterSends) {
  ASSERT_EQ(mkfifo(dir_.File("T.txt").c_str(), 0600), 0);
  std::thread writer([&] { WriteFile(dir_.File("T.txt"), "5,'cinco'\n6,'seis'"); });
  ProgramResult restored = Run({"restore", "T"});
  writer.join();
  EXPECT_EQ(restored.out, "Restore T con 2 filas recuperadas.\n");
  EXPECT_EQ(restored.status, 0);
}

// The script runners read regular files only: a pipe is not waited on.
TEST_F(BadInput, ScriptThatIsAPipeIsReportedAsMissing) {
  ASSERT_EQ(mkfifo(dir_.File("TUBO.sql").c_str(), 0600), 0);
  ProgramResult fsql = Run({"fsql", "TUBO.sql"});
  EXPECT_EQ(fsql.out,
            "fichero (TUBO.sql)  extension (SQL) \nWarning. No existe el fichero TUBO.sql\n");
  EXPECT_EQ(fsql.status, 0);
  ProgramResult fiche = Run({"fiche", "TUBO.sql"});
  EXPECT_EQ(fiche.out, "Ejecuta el fichero (TUBO.SQL)\nWarning. No existe el fichero TUBO.SQL\n");
  EXPECT_EQ(fiche.status, 0);
}

TEST_F(BadInput, DirectoryInPlaceOfAnInputFile) {
  std::filesystem::create_directory(dir_.File("T.txt"));
  ProgramResult restored = Run({"restore", "T"});
  EXPECT_EQ(restored.out, "Imposible leer fichero restore (T.txt).\n");
  EXPECT_EQ(restored.status, 1);
  ProgramResult added = Run({"add", "T"});
  EXPECT_EQ(added.out, "Imposible leer fichero restore (T.txt).\n");
  EXPECT_EQ(added.status, 1);
  EXPECT_EQ(Contents("T"), before_t_);

  // The script runners take a directory for a missing file, as they do a pipe.
  std::filesystem::create_directory(dir_.File("DIR.sql"));
  ProgramResult fsql = Run({"fsql", "DIR.sql"});
  EXPECT_EQ(fsql.out,
            "fichero (DIR.sql)  extension (SQL) \nWarning. No existe el fichero DIR.sql\n");
  EXPECT_EQ(fsql.status, 0);

  std::filesystem::create_directory(dir_.File("catalogo.txt"));
  ProgramResult genera = Run({"genera", "all"});
  EXPECT_EQ(genera.out, "Imposible leer fichero (catalogo.txt).\n");
  EXPECT_EQ(genera.status, 1);

  std::filesystem::create_directories(dir_.File("copys/T.cpy"));
  ProgramResult creacpy = Run({"creacpy", "T", "T"}, {{"KORVEL", dir_.path()}});
  EXPECT_EQ(creacpy.out, "Error apertura programa " + dir_.File("copys/T.cpy") + " ...\n");
  EXPECT_EQ(creacpy.status, 1);
  EXPECT_EQ(Contents("T"), before_t_);
}

// traspaso converts the regular files only.
TEST_F(BadInput, DirectoryNamedLikeATableTextFileIsLeftAloneByTraspaso) {
  std::filesystem::create_directory(dir_.File("R.txt"));
  ProgramResult run = Run({"traspaso", "txt"});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(dir_.Exists("r.bcp"));
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

// --- Outputs that cannot be written ---------------------------------------------------------

TEST_F(BadInput, BackupAndSalvalfIntoAPathThatCannotHoldFiles) {
  dir_.Write("fichero", "no es un directorio\n");
  for (const std::string& where : {dir_.File("fichero/sub"), "/proc/sys"s}) {
    ProgramResult run = Run({"backup", "T"}, {{"BACKUP", where}});
    EXPECT_EQ(run.out, "Imposible abrir fichero copia (" + where + "/T.txt).\n");
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_EQ(dir_.Read("fichero"), "no es un directorio\n");

  // salvalf gets its file name upper-cased.
  dir_.Write("FICHERO", "no es un directorio\n");
  ProgramResult under_file = Run({"salvalf", "T", "fichero/t.lf"});
  EXPECT_EQ(under_file.out, "Imposible abrir fichero copia (FICHERO/T.LF).\n");
  EXPECT_EQ(under_file.status, 1);
  EXPECT_EQ(dir_.Read("FICHERO"), "no es un directorio\n");
  Script("create table M (ID_M number(10), A number(5))\n;\ninsert into M values (1, 3)\n;\n");
  std::filesystem::create_directories(dir_.File("M.LF/dentro"));
  ProgramResult onto_directory = Run({"salvalf", "M", "m.lf"});
  EXPECT_EQ(onto_directory.out, "Imposible escribir fichero copia (M.LF).\n");
  EXPECT_EQ(onto_directory.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("M.LF/dentro")));
}

TEST_F(BadInput, BackupOntoADirectoryKeepsIt) {
  std::filesystem::create_directories(dir_.File("T.txt/dentro"));
  ProgramResult run = Run({"backup", "T"});
  EXPECT_EQ(run.out, "Imposible escribir fichero copia (T.txt).\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("T.txt/dentro")));
}

// The migration operations write fixed names in the current directory: a directory of that
// name cannot be replaced, and a current directory under /proc holds no files at all.
TEST_F(BadInput, MigrationOutputsThatCannotBeWritten) {
  std::filesystem::create_directories(dir_.File("catalogo.sql/dentro"));
  ProgramResult catalogo = Run({"catalogo", "all"});
  EXPECT_EQ(catalogo.out, "Imposible escribir fichero copia (catalogo.sql).\n");
  EXPECT_EQ(catalogo.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("catalogo.sql/dentro")));

  ProgramRun in_proc;
  in_proc.program = "volmek";
  in_proc.args = {"catalogo", "all"};
  in_proc.env = EmbeddedEnv(dir_.File("test.db"));
  in_proc.cwd = "/proc/sys";
  in_proc.close_stdin = true;
  ProgramResult refused = volmek::testing::Run(in_proc);
  EXPECT_EQ(refused.out, "Imposible abrir fichero copia (catalogo.sql).\n");
  EXPECT_EQ(refused.status, 1);

  dir_.Write("catalogo.txt", "");
  std::filesystem::create_directories(dir_.File("genera.sql/dentro"));
  ProgramResult genera = Run({"genera", "all"});
  EXPECT_EQ(genera.out, "Imposible escribir fichero (genera.sql).\n");
  EXPECT_EQ(genera.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("genera.sql/dentro")));

  dir_.Write("R.txt", "1,'uno'\n");
  std::filesystem::create_directories(dir_.File("r.bcp/dentro"));
  ProgramResult bcp = Run({"traspaso", "txt"});
  EXPECT_NE(bcp.status, 0) << bcp.out;
  EXPECT_NE(bcp.out.find("(r.bcp)"), std::string::npos) << bcp.out;
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("r.bcp/dentro")));
  EXPECT_FALSE(dir_.Exists("carga.bat"));

  std::filesystem::remove_all(dir_.File("r.bcp"));
  std::filesystem::create_directories(dir_.File("carga.bat/dentro"));
  ProgramResult batch = Run({"traspaso", "txt"});
  EXPECT_EQ(batch.out, "Trata: r.txt\nImposible abrir fichero (carga.bat).\n");
  EXPECT_EQ(batch.status, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("carga.bat/dentro")));
}

TEST_F(BadInput, ImpRefusesATableNameOfTheDumpThatIsNoIdentifier) {
  const std::string column = "COLUMN\tA\tNUMBER(5)\tNULL\nROWS\nR\t1\nEND\n";
  for (const std::string& name : {"U (A number); drop table T; create table X"s, kLongName}) {
    dir_.Write("x.dmp", "VOLMEK-DUMP\t1\nTABLE\t" + name + "\n" + column);
    ProgramRun run;
    run.program = "volmek-imp";
    run.args = {"userid=DEMO/demo@file:" + dir_.File("test.db"), "file=x.dmp", "full=yes"};
    run.env = EmbeddedEnv(dir_.File("test.db"));
    run.cwd = dir_.path();
    run.close_stdin = true;
    ProgramResult result = volmek::testing::Run(run);
    EXPECT_NE(result.status, 0) << name;
    const std::string refusal =
        name == kLongName
            ? "Error: nombre de tabla demasiado largo: " + name + " (mas de 30 caracteres).\n"
            : "Error: nombre de tabla no valido: " + name + ".\n";
    EXPECT_NE(result.out.find(refusal), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with("Importacion terminada con errores.\n")) << result.out;
    EXPECT_EQ(Contents("T"), before_t_);
    EXPECT_EQ(Contents("U"), before_u_);
  }
}

}  // namespace
}  // namespace volmek::testing
