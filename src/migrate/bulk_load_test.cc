#include "migrate/bulk_load.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <sstream>
#include <string>

#include "testing/harness.h"

namespace volmek::migrate {
namespace {

const std::string kEmpLine =
    "bcp %NOMBD%.dbo.emp in emp.bcp -e emp.err /m 20 /c /CACP /t ~ /r \\n /U%USER% /P%PASS% "
    "/S%SERVER% /b1000\n";

class BulkLoadLineTest : public ::testing::Test {
 protected:
  Status Convert(const std::string& text, const CharacterSet& client = CharacterSet::Utf8()) {
    std::istringstream in(text);
    converted_.clear();
    Result<BulkLoadEncoder> encoder = BulkLoadEncoder::Open(client);
    if (!encoder.has_value()) return encoder.error();
    return ConvertTableText(in, "emp.txt", *encoder, [this](std::string_view line) {
      converted_ += line;
      return Status::Ok();
    });
  }
  std::string converted_;
};

TEST_F(BulkLoadLineTest, SpanishTextIsWrittenInWindows1252) {
  ASSERT_TRUE(Convert("1,'Nu\u00f1ez','\u20ac 5','\u00c1vila \u00fc'\n").ok());
  EXPECT_EQ(converted_,
            "0~1~Nu\xf1"
            "ez~\x80 5~\xc1vila \xfc\n");
  // A client already in Windows-1252 passes its bytes through unchanged.
  CharacterSet windows{"WE8MSWIN1252", "WINDOWS-1252", false};
  ASSERT_TRUE(Convert("'Nu\xf1"
                      "ez'\n",
                      windows)
                  .ok());
  EXPECT_EQ(converted_,
            "0~Nu\xf1"
            "ez\n");
}

TEST_F(BulkLoadLineTest, CharacterThatWindows1252LacksStopsNamingFileLineAndColumn) {
  Status status = Convert("1,'Lodz'\n2,'\u0141\u00f3d\u017a'\n");
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 2, columna 2: el caracter \"\u0141\" no existe en "
            "Windows-1252, la pagina de codigos del fichero bcp.\n");
}

TEST_F(BulkLoadLineTest, BytesThatAreNoTextOfTheClientCharacterSetStop) {
  Status status = Convert("'ab\xff'\n");
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 1, columna 1: el byte 0xff no es texto AL32UTF8 (NLS_LANG).\n");
}

TEST_F(BulkLoadLineTest, ValuesFollowTheIdentityZeroAfterTildes) {
  ASSERT_TRUE(Convert("'ABC',123,'X Y'\n'A','B',42\n").ok());
  EXPECT_EQ(converted_, "0~ABC~123~X Y\n0~A~B~42\n");
}

TEST_F(BulkLoadLineTest, EmptyQuotedValueIsAnEmptyField) {
  ASSERT_TRUE(Convert("'',5\n").ok());
  EXPECT_EQ(converted_, "0~~5\n");
}

TEST_F(BulkLoadLineTest, BareNullIsAnEmptyField) {
  ASSERT_TRUE(Convert("NULL,1,NULL\n").ok());
  EXPECT_EQ(converted_, "0~~1~\n");
}

TEST_F(BulkLoadLineTest, DoubledApostropheBecomesOne) {
  ASSERT_TRUE(Convert("'O''Brien',''''\n").ok());
  EXPECT_EQ(converted_, "0~O'Brien~'\n");
}

TEST_F(BulkLoadLineTest, CommasAndQuotesInsideTextStayInTheirField) {
  // The old reading ended a text at the first quote followed by a comma and split it in two.
  ASSERT_TRUE(Convert("'a'',b','c,d','\"e\"'\n").ok());
  EXPECT_EQ(converted_, "0~a',b~c,d~\"e\"\n");
}

TEST_F(BulkLoadLineTest, DatesKeepTheTextBcpReadsForDatetime) {
  ASSERT_TRUE(Convert("1,'2026-12-08 10:11:12'\n").ok());
  EXPECT_EQ(converted_, "0~1~2026-12-08 10:11:12\n");
}

TEST_F(BulkLoadLineTest, OldFormNullArrivesAsItsBlanks) {
  ASSERT_TRUE(Convert("'   ',7\n").ok());
  EXPECT_EQ(converted_, "0~   ~7\n");
}

TEST_F(BulkLoadLineTest, LastLineWithoutLineEndAndCrLfAreConverted) {
  ASSERT_TRUE(Convert("1,'A'\r\n2,'B'").ok());
  EXPECT_EQ(converted_, "0~1~A\n0~2~B\n");
}

TEST_F(BulkLoadLineTest, LongValuesAreWrittenWhole) {
  std::string text(20000, 'x');
  ASSERT_TRUE(Convert("'" + text + "',1\n").ok());
  EXPECT_EQ(converted_, "0~" + text + "~1\n");
}

TEST_F(BulkLoadLineTest, TildeInAValueStopsNamingFileAndLine) {
  Status status = Convert("'a',1\n'b~c',2\n");
  EXPECT_EQ(status.code(), Status::Code::kCorrupt);
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 2, columna 1: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n");
  EXPECT_EQ(converted_, "0~a~1\n");
}

TEST_F(BulkLoadLineTest, LineEndInAValueStops) {
  Status status = Convert("1,'a'||chr(10)||'b'\n");
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 1, columna 2: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n");
  status = Convert("1,2,'a'||chr(13)||'b'\n");
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 1, columna 3: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n");
}

TEST_F(BulkLoadLineTest, LineThatIsNoValueListStops) {
  Status status = Convert("1,'abc\n");
  EXPECT_EQ(status.code(), Status::Code::kCorrupt);
  EXPECT_EQ(status.message().rfind("Fichero emp.txt, linea 1: columna 2: ", 0), 0u)
      << status.message();
}

TEST_F(BulkLoadLineTest, SinkFailureStopsTheConversion) {
  std::istringstream in("1\n2\n3\n");
  int lines = 0;
  Result<BulkLoadEncoder> encoder = BulkLoadEncoder::Open(CharacterSet::Utf8());
  ASSERT_TRUE(encoder.has_value());
  Status status = ConvertTableText(in, "emp.txt", *encoder, [&](std::string_view) {
    return ++lines == 2 ? Status::IoError("lleno\n") : Status::Ok();
  });
  EXPECT_EQ(status.message(), "lleno\n");
  EXPECT_EQ(lines, 2);
}

class BulkLoadNameTest : public ::testing::Test {};

TEST_F(BulkLoadNameTest, BaseNameIsLowerCasedAndCutAtTheFirstDot) {
  EXPECT_EQ(BaseName("EMP.TXT"), "emp");
  EXPECT_EQ(BaseName("emp.old.txt"), "emp");
  EXPECT_EQ(BaseName("Mi_Tabla$1.Txt"), "mi_tabla$1");
}

TEST_F(BulkLoadNameTest, BatchLineIsTheBcpCommandForTheTable) {
  EXPECT_EQ(BatchLine("emp"), kEmpLine);
}

class BulkLoadDirectoryTest : public ::testing::Test {
 protected:
  Status Run() {
    out_.str("");
    Progress no_terminal(nullptr);
    return ConvertDirectory(dir_.path(), out_, no_terminal, CharacterSet::Utf8());
  }
  testing::TempDir dir_;
  std::ostringstream out_;
};

TEST_F(BulkLoadDirectoryTest, DirectoryWithoutTextFilesPrintsAndWritesNothing) {
  dir_.Write("notes.doc", "x");
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(BulkLoadDirectoryTest, CatalogueListingIsSkippedInAnyCase) {
  dir_.Write("CATALOGO.TXT", "EMP 1 CATALOGO_TABLA\n");
  dir_.Write("Catalogo.txt", "EMP 1 CATALOGO_TABLA\n");
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(dir_.Exists("catalogo.bcp"));
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(BulkLoadDirectoryTest, EachTableGetsItsFileAndBatchLine) {
  dir_.Write("EMP.TXT", "1,'A'\n");
  dir_.Write("dept.txt", "10,'VENTAS'\n");
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(), "Trata: emp.txt\nTrata: dept.txt\n");
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~1~A\n");
  EXPECT_EQ(dir_.Read("dept.bcp"), "0~10~VENTAS\n");
  EXPECT_EQ(dir_.Read("carga.bat"), kEmpLine + BatchLine("dept"));
}

TEST_F(BulkLoadDirectoryTest, RemovedWorkingDirectoryIsAFailure) {
  // The bug: a removed directory listed as an empty one, and traspaso ended as a success.
  std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::create_directory(dir_.File("ido"));
  std::filesystem::current_path(dir_.File("ido"));
  std::filesystem::remove(dir_.File("ido"));
  Progress no_terminal(nullptr);
  Status status = ConvertDirectory(".", out_, no_terminal, CharacterSet::Utf8());
  std::filesystem::current_path(home);
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), "Imposible abrir directorio (.).\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(BulkLoadDirectoryTest, SecondRunAppendsToTheBatchAndRewritesBulkFiles) {
  dir_.Write("emp.txt", "1\n");
  ASSERT_TRUE(Run().ok());
  dir_.Write("emp.txt", "2\n");
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~2\n");
  EXPECT_EQ(dir_.Read("carga.bat"), kEmpLine + kEmpLine);
}

TEST_F(BulkLoadDirectoryTest, EmptyTableGivesEmptyFileAndStillABatchLine) {
  dir_.Write("emp.txt", "");
  ASSERT_TRUE(Run().ok());
  EXPECT_TRUE(dir_.Exists("emp.bcp"));
  EXPECT_EQ(dir_.Read("emp.bcp"), "");
  EXPECT_EQ(dir_.Read("carga.bat"), kEmpLine);
}

TEST_F(BulkLoadDirectoryTest, NamesWithSeveralDotsShareOneBulkFile) {
  dir_.Write("emp.txt", "1\n");
  dir_.Write("emp.old.txt", "2\n");
  ASSERT_TRUE(Run().ok());
  // Name order: emp.old.txt comes first, so emp.txt is the one left in emp.bcp.
  EXPECT_EQ(out_.str(), "Trata: emp.old.txt\nTrata: emp.txt\n");
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~1\n");
  EXPECT_EQ(dir_.Read("carga.bat"), kEmpLine + kEmpLine);
}

TEST_F(BulkLoadDirectoryTest, NameThatCannotStandInTheBatchIsPassedOver) {
  // "x&del" would run a second command in the batch.
  dir_.Write("x&del.txt", "1\n");
  dir_.Write("emp.txt", "1\n");
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(),
            "Trata: emp.txt\n"
            "Warning. Fichero x&del.txt no tratado: \"x&del\" no es un nombre de tabla.\n");
  EXPECT_EQ(dir_.Read("carga.bat"), kEmpLine);
}

TEST_F(BulkLoadDirectoryTest, FailedConversionKeepsThePreviousBulkFileAndWritesNoBatchLine) {
  dir_.Write("emp.bcp", "0~old\n");
  dir_.Write("emp.txt", "'a'\n'b~'\n");
  Status status = Run();
  EXPECT_EQ(status.message(),
            "Fichero emp.txt, linea 2, columna 1: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n");
  EXPECT_EQ(out_.str(), "Trata: emp.txt\n");
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~old\n");
  EXPECT_FALSE(dir_.Exists("carga.bat"));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    ++entries;
  EXPECT_EQ(entries, 2);  // no temporary file left behind
}

TEST_F(BulkLoadDirectoryTest, UnreadableTableFileStopsWithItsName) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  dir_.Write("emp.txt", "1\n");
  chmod(dir_.File("emp.txt").c_str(), 0);
  Status status = Run();
  EXPECT_EQ(status.message(), "Imposible abrir fichero (emp.txt).\n");
}

TEST_F(BulkLoadDirectoryTest, UnwritableDirectoryIsReportedNotSuccess) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  dir_.Write("emp.txt", "1\n");
  chmod(dir_.path().c_str(), 0555);
  Status status = Run();
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(status.message(), "Imposible abrir fichero (emp.bcp).\n");
}

TEST_F(BulkLoadDirectoryTest, FullDiskIsReportedAndKeepsThePreviousBulkFile) {
  dir_.Write("emp.bcp", "0~old\n");
  dir_.Write("emp.txt", "'" + std::string(200000, 'x') + "'\n");
  // A file size limit stands for a full disk: writes beyond it fail with EFBIG.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limit = saved;
  limit.rlim_cur = 4096;
  auto previous_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  Status status = Run();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(status.message(), "Imposible escribir fichero (emp.bcp).\n");
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~old\n");
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(BulkLoadDirectoryTest, DirectoryNamedLikeATableFileIsNotConverted) {
  std::filesystem::create_directory(dir_.File("sub.txt"));
  ASSERT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
}  // namespace volmek::migrate
