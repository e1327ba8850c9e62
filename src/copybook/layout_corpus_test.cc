// The field layout against GnuCOBOL: every copybook of tests/data/copybooks with the offsets and
// sizes that cobc -std=ibm gives its entries (NAME.layout, one "LEVEL NAME OFFSET SIZE OCCURS"
// line per entry, 88 and 66 entries left out).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "copybook/layout.h"
#include "copybook/reader.h"
#include "testing/harness.h"

namespace volmek::copybook {
namespace {

struct TruthLine {
  int level = 0;
  std::string name;
  std::int64_t offset = 0;
  std::int64_t size = 0;
  std::int64_t occurs = 0;
};

std::vector<TruthLine> ReadTruth(const std::string& path) {
  std::ifstream in(path);
  std::vector<TruthLine> lines;
  TruthLine line;
  int filler = 0;
  while (in >> line.level >> line.name >> line.offset >> line.size >> line.occurs) {
    // Names are kept upper case whatever case the copybook writes them in.
    UpperCaseInPlace(line.name);
    NormalizeName(line.name);
    if (line.name == "FILLER") line.name += std::to_string(++filler);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CorpusNames() {
  std::vector<std::string> names;
  const std::string dir = testing::SourcePath("tests/data/copybooks");
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".cpy") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class GnuCobolCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(GnuCobolCorpus, EveryEntryHasCobcPositionAndSize) {
  const std::string base = testing::SourcePath("tests/data/copybooks/" + GetParam());
  std::ifstream copybook(base + ".cpy", std::ios::binary);
  ASSERT_TRUE(copybook) << base;
  Result<FieldTable> fields = ReadFields(copybook);
  ASSERT_TRUE(fields) << fields.error().message();
  Result<Layout> layout = LayOutFields(std::move(*fields));
  ASSERT_TRUE(layout) << layout.error().message();
  const std::vector<TruthLine> truth = ReadTruth(base + ".layout");
  ASSERT_FALSE(truth.empty());
  ASSERT_EQ(layout->fields.size(), truth.size());

  std::int64_t records = 0;
  std::int64_t record_length = 0;
  for (std::size_t idx = 0; idx < truth.size(); ++idx) {
    const Field& field = layout->fields[idx];
    const TruthLine& expected = truth[idx];
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(field.name, expected.name);
    EXPECT_EQ(field.level, expected.level);
    EXPECT_EQ(field.position, expected.offset);
    EXPECT_EQ(field.occurs, expected.occurs);
    // Groups keep a storage size of 0; their bytes are the extent.
    EXPECT_EQ(field.extent, expected.size);
    if (!field.group) {
      EXPECT_EQ(field.length, expected.size);
    }
    if (field.level == 1 || field.level == 77) {
      ++records;
      record_length = std::max(record_length, expected.size);
    } else if (field.parent < 0) {
      record_length = std::max(record_length, expected.offset + expected.size * Repeats(field));
    }
  }
  EXPECT_EQ(layout->record_length, record_length);
}

INSTANTIATE_TEST_SUITE_P(Corpus, GnuCobolCorpus, ::testing::ValuesIn(CorpusNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

TEST(GnuCobolCorpusFiles, HoldTheTwentyFiveCopybooks) { EXPECT_EQ(CorpusNames().size(), 25u); }

}  // namespace
}  // namespace volmek::copybook
