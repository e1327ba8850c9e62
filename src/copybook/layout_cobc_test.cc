// The field layout against GnuCOBOL itself, on copybooks made up by the test: random records of
// nested groups, OCCURS, REDEFINES, every usage, SYNC and separate signs, laid out by
// tests/tools/cobc-layout (which compiles them with cobc -std=ibm) and by the layout. Skipped
// when cobc is not installed.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "copybook/layout.h"
#include "copybook/reader.h"
#include "testing/harness.h"

namespace volmek::copybook {
namespace {

constexpr int kCopybooks = 12;

class CopybookMaker {
 public:
  explicit CopybookMaker(unsigned seed) : random_(seed) {}

  std::string Make() {
    text_ = "       01  R.\n";
    Group(5, 0, false);
    return text_;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string Name() { return "F-" + std::to_string(++names_); }

  // One entry, broken over two lines when it would pass column 72.
  void Entry(int level, const std::string& rest) {
    std::string line = std::string(7 + (level / 5) * 2, ' ') + (level < 10 ? "0" : "") +
                       std::to_string(level) + "  " + rest + ".";
    if (line.size() > 72) {
      const std::size_t cut = line.rfind(' ', 71);
      text_ += line.substr(0, cut) + "\n";
      line = std::string(11, ' ') + line.substr(cut + 1);
    }
    text_ += line + "\n";
  }

  std::string Elementary(bool in_table) {
    switch (Pick(0, 11)) {
      case 0:
        return fmt("PIC X({})", Pick(1, 12));
      case 1:
        return fmt("PIC 9({})", Pick(1, 12));
      case 2:
        return fmt("PIC S9({})V9({}) COMP-3", Pick(1, 9), Pick(1, 4));
      case 3:
        return fmt("PIC S9({}) COMP", Pick(1, 18)) + (in_table ? "" : Pick(0, 1) ? " SYNC" : "");
      case 4:
        return fmt("PIC 9({}) BINARY", Pick(1, 18));
      case 5:
        return fmt("PIC S9({}) COMP-5", Pick(1, 18));
      case 6:
        return Pick(0, 1) ? "COMP-1" : "USAGE COMP-2";
      case 7:
        return "PIC ZZ,ZZ9.99";
      case 8:
        return fmt("PIC -9({})", Pick(1, 6));
      case 9:
        return fmt("PIC S9({}) SIGN {} SEPARATE", Pick(1, 8), Pick(0, 1) ? "LEADING" : "TRAILING");
      case 10:
        return fmt("PIC 9({}) PACKED-DECIMAL", Pick(1, 15));
      default:
        return fmt("PIC 99/99/9999");
    }
  }

  static std::string fmt(std::string_view pattern, int value) {
    std::string text(pattern);
    text.replace(text.find("{}"), 2, std::to_string(value));
    return text;
  }
  static std::string fmt(std::string_view pattern, int first, int second) {
    return fmt(fmt(pattern, first), second);
  }
  static std::string fmt(std::string_view pattern, int first, std::string_view word) {
    std::string text = fmt(pattern, first);
    text.replace(text.find("{}"), 2, word);
    return text;
  }
  static std::string fmt(std::string_view pattern) { return std::string(pattern); }

  void Group(int level, int depth, bool in_table) {
    const int children = Pick(1, 4);
    std::string previous;  // a sibling that may be redefined (no OCCURS)
    for (int child_idx = 0; child_idx < children; ++child_idx) {
      const std::string name = Name();
      const bool group = depth < 3 && Pick(0, 2) == 0;
      const bool redefines = !previous.empty() && Pick(0, 3) == 0;
      const bool occurs = !redefines && Pick(0, 2) == 0;
      std::string rest = name;
      if (redefines) rest += " REDEFINES " + previous;
      if (group) {
        if (occurs) rest += fmt(" OCCURS {} TIMES", Pick(1, 3));
        Entry(level, rest);
        Group(level + 5, depth + 1, in_table || occurs);
      } else {
        rest += " " + Elementary(in_table || occurs);
        if (occurs) rest += fmt(" OCCURS {}", Pick(1, 4));
        Entry(level, rest);
      }
      if (!redefines) previous = occurs ? "" : name;
    }
  }

  std::mt19937 random_;
  std::string text_;
  int names_ = 0;
};

struct CobcEntry {
  std::string name;
  std::int64_t offset = 0;
  std::int64_t size = 0;
};

TEST(LayoutAgainstCobc, RandomRecordsGetCobcOffsetsAndSizes) {
  if (!std::filesystem::exists("/usr/bin/cobc")) GTEST_SKIP() << "cobc is not installed";
  testing::TempDir dir;
  int compared = 0;
  for (int copybook_idx = 0; copybook_idx < kCopybooks; ++copybook_idx) {
    const std::string text = CopybookMaker(1000 + copybook_idx).Make();
    SCOPED_TRACE(text);
    const std::string file = "R" + std::to_string(copybook_idx) + ".cpy";
    dir.Write(file, text);
    testing::ProgramRun run;
    run.program = testing::SourcePath("tests/tools/cobc-layout");
    run.args = {dir.File(file)};
    run.env = {{"PATH", "/usr/bin:/bin"}, {"TMPDIR", dir.path()}};
    const testing::ProgramResult cobc = testing::Run(run);
    if (cobc.status == 1) continue;  // cobc refused the made-up record
    ASSERT_EQ(cobc.status, 0) << cobc.err;

    std::vector<CobcEntry> truth;
    std::istringstream lines(cobc.out);
    CobcEntry entry;
    int level = 0;
    std::int64_t occurs = 0;
    while (lines >> level >> entry.name >> entry.offset >> entry.size >> occurs) {
      NormalizeName(entry.name);
      truth.push_back(entry);
    }
    Result<FieldTable> fields = ReadFields(text);
    ASSERT_TRUE(fields) << fields.error().message();
    Result<Layout> layout = LayOutFields(std::move(*fields));
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->fields.size(), truth.size());
    for (std::size_t idx = 0; idx < truth.size(); ++idx) {
      const Field& field = layout->fields[idx];
      EXPECT_EQ(field.name, truth[idx].name);
      EXPECT_EQ(field.position, truth[idx].offset) << field.name;
      EXPECT_EQ(field.extent, truth[idx].size) << field.name;
    }
    EXPECT_EQ(layout->record_length, truth[0].size);
    ++compared;
  }
  EXPECT_GE(compared, kCopybooks / 2);
}

}  // namespace
}  // namespace volmek::copybook
