#include "tools/dump_file.h"

#include <gtest/gtest.h>

#include "testing/harness.h"
#include "tools/companion.h"

namespace volmek::tools {
namespace {

DumpTable Clientes() {
  return DumpTable{
      "CLI",
      {{"ID", "NUMBER(8)", false}, {"NOMBRE", "VARCHAR2(20)", true}, {"ALTA", "DATE", true}}};
}

class DumpFileTest : public ::testing::Test {
 protected:
  volmek::testing::TempDir dir_;
};

TEST_F(DumpFileTest, WrittenTablesReadBackWithEveryValue) {
  {
    auto writer = DumpWriter::Create(dir_.File("x.dmp"));
    ASSERT_TRUE(writer.has_value());
    ASSERT_TRUE(writer->BeginTable(Clientes()).ok());
    std::string line;
    AppendDumpValue(std::string("1"), line);
    line.push_back('\t');
    AppendDumpValue(std::string("a\tb\nc\\d\r"), line);
    line.push_back('\t');
    AppendDumpValue(std::nullopt, line);
    ASSERT_TRUE(writer->WriteRow(line).ok());
    ASSERT_TRUE(writer->EndTable().ok());
    EXPECT_FALSE(dir_.Exists("x.dmp"));
    ASSERT_TRUE(writer->Finish().ok());
  }
  auto reader = DumpReader::Open(dir_.File("x.dmp"));
  ASSERT_TRUE(reader.has_value()) << reader.error().message();
  DumpTable table;
  ASSERT_TRUE(*reader->NextTable(table));
  EXPECT_EQ(table.name, "CLI");
  ASSERT_EQ(table.columns.size(), 3u);
  EXPECT_FALSE(table.columns[0].nullable);
  EXPECT_EQ(table.columns[1].type, "VARCHAR2(20)");
  DumpRow row;
  ASSERT_TRUE(*reader->NextRow(row));
  DumpRow expected = {std::string("1"), std::string("a\tb\nc\\d\r"), std::nullopt};
  EXPECT_EQ(row, expected);
  EXPECT_FALSE(*reader->NextRow(row));
  EXPECT_FALSE(*reader->NextTable(table));
}

TEST_F(DumpFileTest, AbandonedWriterLeavesNoFile) {
  {
    auto writer = DumpWriter::Create(dir_.File("x.dmp"));
    ASSERT_TRUE(writer.has_value());
  }
  EXPECT_FALSE(dir_.Exists("x.dmp"));
  EXPECT_FALSE(dir_.Exists("x.dmp.tmp"));
}

class DumpFileCorruption : public ::testing::Test {
 protected:
  Status ReadAll(const std::string& text) {
    dir_.Write("x.dmp", text);
    auto reader = DumpReader::Open(dir_.File("x.dmp"));
    if (!reader.has_value()) return reader.error();
    DumpTable table;
    DumpRow row;
    while (true) {
      VOLMEK_ASSIGN_OR_RETURN(bool more, reader->NextTable(table));
      if (!more) return Status::Ok();
      while (true) {
        VOLMEK_ASSIGN_OR_RETURN(bool got, reader->NextRow(row));
        if (!got) break;
      }
    }
  }
  std::string Header() const { return "VOLMEK-DUMP\t1\nTABLE\tT\nCOLUMN\tA\tNUMBER\tNULL\nROWS\n"; }
  volmek::testing::TempDir dir_;
};

TEST_F(DumpFileCorruption, OtherFilesAreNotTakenForDumps) {
  EXPECT_EQ(ReadAll("1,'A'\n").message(),
            dir_.File("x.dmp") + ", linea 1: no es un fichero de exportacion");
  EXPECT_EQ(ReadAll("").message(),
            dir_.File("x.dmp") + ", linea 0: no es un fichero de exportacion");
}

TEST_F(DumpFileCorruption, TruncatedTableIsReported) {
  EXPECT_EQ(ReadAll(Header() + "R\t1\n").message(),
            dir_.File("x.dmp") + ", linea 5: fin de fichero dentro de una tabla");
}

TEST_F(DumpFileCorruption, WrongValueCountAndBadEscapesAreReported) {
  EXPECT_EQ(ReadAll(Header() + "R\t1\t2\nEND\n").message(),
            dir_.File("x.dmp") + ", linea 5: fila con 2 valores en lugar de 1");
  EXPECT_EQ(ReadAll(Header() + "R\t\\x\nEND\n").message(),
            dir_.File("x.dmp") + ", linea 5: escape no valido \\x");
  EXPECT_EQ(ReadAll(Header() + "R\tab\\\nEND\n").message(),
            dir_.File("x.dmp") + ", linea 5: escape incompleto");
}

class ImportStatements : public ::testing::Test {};

TEST_F(ImportStatements, TextIsQuotedAndNumbersMustBeNumbers) {
  auto sql =
      InsertStatement(Clientes(), {std::string("-12.5"), std::string("O'NEIL"), std::nullopt});
  ASSERT_TRUE(sql.has_value());
  EXPECT_EQ(*sql, "insert into CLI values (-12.5,'O''NEIL',NULL)");
  auto bad = InsertStatement(Clientes(),
                             {std::string("1); drop table X; --"), std::nullopt, std::nullopt});
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error().message(), "valor numerico no valido en CLI.ID: 1); drop table X; --");
}

TEST_F(ImportStatements, ColumnTypesAsCreateTableWritesThem) {
  db::ColumnDescription column;
  column.db_type = db::kTypeNumber;
  column.precision = 8;
  column.scale = 2;
  EXPECT_EQ(*ColumnTypeText(column), "NUMBER(8,2)");
  column.scale = 0;
  EXPECT_EQ(*ColumnTypeText(column), "NUMBER(8)");
  column.precision = 0;
  EXPECT_EQ(*ColumnTypeText(column), "NUMBER");
  column.db_type = db::kTypeChar;
  column.db_size = 4;
  EXPECT_EQ(*ColumnTypeText(column), "CHAR(4)");
  column.db_type = db::kTypeDate;
  EXPECT_EQ(*ColumnTypeText(column), "DATE");
  column.db_type = 99;
  EXPECT_FALSE(ColumnTypeText(column).has_value());
}

}  // namespace
}  // namespace volmek::tools
