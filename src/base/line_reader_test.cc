#include "base/line_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <streambuf>

#include "testing/harness.h"

namespace volmek {
namespace {

std::vector<std::string> ReadAll(const std::string& text) {
  std::istringstream in(text);
  LineReader reader(in);
  std::vector<std::string> lines;
  std::string line;
  while (true) {
    Result<bool> more = reader.Next(line);
    EXPECT_TRUE(more.has_value());
    if (!more.has_value() || !*more) break;
    lines.push_back(line);
  }
  return lines;
}

// A stream buffer that fails on its first read, as a device error would.
class FailingBuffer : public std::streambuf {
 protected:
  int_type underflow() override { throw std::runtime_error("device error"); }
};

TEST(LineReader, LinesComeBackWithTheirLineEnd) {
  EXPECT_EQ(ReadAll("uno\ndos\n"), (std::vector<std::string>{"uno\n", "dos\n"}));
}

TEST(LineReader, CrLfIsReadAsOneLineEnd) {
  EXPECT_EQ(ReadAll("uno\r\ndos\r\n"), (std::vector<std::string>{"uno\n", "dos\n"}));
}

TEST(LineReader, CrOutsideALineEndIsKept) {
  EXPECT_EQ(ReadAll("a\rb\n\r"), (std::vector<std::string>{"a\rb\n", "\r"}));
}

TEST(LineReader, LastLineWithoutLineEndIsDelivered) {
  EXPECT_EQ(ReadAll("uno\n;"), (std::vector<std::string>{"uno\n", ";"}));
}

TEST(LineReader, EmptyInputHasNoLines) { EXPECT_TRUE(ReadAll("").empty()); }

TEST(LineReader, EmptyLinesAreLines) {
  EXPECT_EQ(ReadAll("\n\r\n\n"), (std::vector<std::string>{"\n", "\n", "\n"}));
}

TEST(LineReader, NulBytesAreOrdinaryBytes) {
  std::string text("a\0b\n\0\n", 6);
  std::vector<std::string> lines = ReadAll(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string("a\0b\n", 4));
  EXPECT_EQ(lines[1], std::string("\0\n", 2));
}

TEST(LineReader, HugeLineComesBackWhole) {
  std::string huge(3 * 1000 * 1000 + 17, 'x');
  EXPECT_EQ(ReadAll(huge + "\nfin"), (std::vector<std::string>{huge + "\n", "fin"}));
}

TEST(LineReader, CrLfSplitAcrossReadBlocksIsOneLineEnd) {
  // The reader reads 64 KiB blocks; put the CR as the last byte of the first block.
  std::string first(64 * 1024 - 1, 'a');
  EXPECT_EQ(ReadAll(first + "\r\nb\r\n"), (std::vector<std::string>{first + "\n", "b\n"}));
}

TEST(LineReader, LineNumberCountsDeliveredLines) {
  std::istringstream in("a\nb\nc");
  LineReader reader(in);
  std::string line;
  ASSERT_TRUE(*reader.Next(line));
  ASSERT_TRUE(*reader.Next(line));
  EXPECT_EQ(reader.line_number(), 2u);
  ASSERT_TRUE(*reader.Next(line));
  EXPECT_FALSE(*reader.Next(line));
  EXPECT_EQ(reader.line_number(), 3u);
  EXPECT_EQ(line, "");
}

TEST(LineReader, ReadErrorIsReported) {
  FailingBuffer buffer;
  std::istream in(&buffer);
  LineReader reader(in);
  std::string line;
  Result<bool> more = reader.Next(line);
  ASSERT_FALSE(more.has_value());
  EXPECT_EQ(more.error().code(), Status::Code::kIoError);
  EXPECT_EQ(more.error().message(), "Error de lectura tras la linea 0\n");
}

TEST(LineReader, OpenFileReadsAFile) {
  testing::TempDir dir;
  dir.Write("f.txt", "uno\r\ndos");
  Result<LineReader> reader = LineReader::OpenFile(dir.File("f.txt"));
  ASSERT_TRUE(reader.has_value());
  std::string line;
  ASSERT_TRUE(*reader->Next(line));
  EXPECT_EQ(line, "uno\n");
  ASSERT_TRUE(*reader->Next(line));
  EXPECT_EQ(line, "dos");
}

TEST(LineReader, OpenFileOfAMissingFileFails) {
  Result<LineReader> reader = LineReader::OpenFile("/nonexistent/x.sql");
  ASSERT_FALSE(reader.has_value());
  EXPECT_EQ(reader.error().code(), Status::Code::kNotFound);
  EXPECT_EQ(reader.error().message(), "No existe el fichero /nonexistent/x.sql\n");
}

TEST(LineReader, WithoutLineEndDropsOnlyTheFinalNewline) {
  EXPECT_EQ(WithoutLineEnd("abc\n"), "abc");
  EXPECT_EQ(WithoutLineEnd("abc"), "abc");
  EXPECT_EQ(WithoutLineEnd("\n\n"), "\n");
}

}  // namespace
}  // namespace volmek
