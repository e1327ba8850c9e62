// ReadAhead: every line once, in order, whatever the batches; what it marks and splits; the
// failure after the last line; and an early stop that leaves no thread behind.
#include "datafiles/read_ahead.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace volmek::datafiles {
namespace {

LineReader ReaderOf(std::string text) {
  return LineReader(std::make_unique<std::istringstream>(std::move(text)));
}

// A converter that takes rows whose first value is not "0", writing each value's text.
class TextConverter : public db::RowConverter {
 public:
  bool Convert(std::span<const db::RowValue> values, db::ConvertedRows& out) override {
    if (values.empty() || values[0].text == "0") return false;
    for (const db::RowValue& value : values) {
      out.values.push_back(
          {out.bytes.size(), value.text.size(), value.kind == db::RowValue::Kind::kNull});
      out.bytes.append(value.text);
    }
    return true;
  }
};

TEST(ReadAhead, GivesEveryLineOnceInOrderWithWhatWasMadeOfIt) {
  // Enough lines for several batches, of every kind the loader tells apart.
  std::string file;
  std::vector<std::string> expected;
  std::size_t crlf = 0;
  for (int idx = 0; idx < 5000; ++idx) {
    std::string line;
    switch (idx % 5) {
      case 0:
        line = std::to_string(idx) + ",'a''b'";
        break;  // plain, a doubled apostrophe
      case 1:
        line = std::to_string(idx % 2) + ",NULL";
        break;  // plain; "0" is not converted
      case 2:
        line = std::to_string(idx) + ",'   '";
        break;  // may hold a blank value
      case 3:
        line = std::to_string(idx) + ",'08-DEC-25'";
        break;  // an old-form date
      case 4:
        line = "'x'||chr(10)";
        break;  // only a statement reads it
    }
    expected.push_back(line);
    crlf += idx % 7 == 0 ? 1 : 0;
    file += line + (idx % 7 == 0 ? "\r\n" : "\n");
  }
  file += "last";
  expected.push_back("last");

  ReadAhead::Options options;
  options.converter = std::make_unique<TextConverter>();
  ReadAhead ahead(ReaderOf(file), Status::IoError("x"), nullptr, std::move(options));
  std::size_t count = 0;
  std::size_t bytes = 0;
  int batches = 0;
  while (const LineBatch* batch = ahead.Next()) {
    ++batches;
    EXPECT_FALSE(batch->failure.has_value());
    for (const AheadLine& line : batch->lines) {
      ASSERT_LT(count, expected.size());
      const std::string& want = expected[count];
      EXPECT_EQ(line.text, want) << count;
      bytes += line.bytes;
      const int kind = count == 5000 ? -1 : static_cast<int>(count % 5);
      EXPECT_EQ(line.may_hold_blank, kind == 2) << want;
      EXPECT_EQ(line.old_form_date, kind == 3) << want;
      EXPECT_EQ(line.plain, kind == 0 || kind == 1 || kind == 3) << want;
      if (kind == 0) {
        ASSERT_EQ(line.value_count, 2u);
        EXPECT_EQ(batch->Values(line)[1].text, "a'b");
      }
      EXPECT_EQ(line.converted, line.plain && !want.starts_with("0,")) << want;
      if (line.converted) {
        const db::ConvertedRows::Value& first = batch->converted.values[line.first_converted];
        EXPECT_EQ(batch->converted.bytes.substr(first.offset, first.size),
                  want.substr(0, want.find(',')));
        EXPECT_EQ(batch->converted.values[line.first_converted + 1].is_null, kind == 1);
      }
      ++count;
    }
  }
  EXPECT_EQ(count, expected.size());
  // Line ends as the reader gives them ("\n", also for CR LF); none after the last line.
  EXPECT_EQ(bytes, file.size() - crlf);
  EXPECT_GT(batches, 2);
  EXPECT_EQ(ahead.Next(), nullptr);
}

TEST(ReadAhead, WithoutSplittingLeavesEveryLineWhole) {
  ReadAhead::Options options;
  options.split = false;
  ReadAhead ahead(ReaderOf("1,2\n3,4\n"), Status::IoError("x"), nullptr, std::move(options));
  const LineBatch* batch = ahead.Next();
  ASSERT_NE(batch, nullptr);
  ASSERT_EQ(batch->lines.size(), 2u);
  EXPECT_FALSE(batch->lines[0].plain);
  EXPECT_TRUE(batch->values.empty());
  EXPECT_EQ(ahead.Next(), nullptr);
}

TEST(ReadAhead, AFileCutShortEndsWithTheFailureAfterItsLines) {
  std::string file;
  for (int idx = 0; idx < 3000; ++idx) file += std::to_string(idx) + "\n";
  int asked = 0;
  ReadAhead ahead(ReaderOf(file), Status::IoError("cortado"), [&asked] { return ++asked > 0; }, {});
  std::size_t count = 0;
  std::optional<Status> failure;
  while (const LineBatch* batch = ahead.Next()) {
    ASSERT_FALSE(failure.has_value()) << "a batch after the failure";
    count += batch->lines.size();
    failure = batch->failure;
  }
  EXPECT_EQ(count, 3000u);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->message(), "cortado");
  EXPECT_EQ(asked, 1);
}

TEST(ReadAhead, StopsWhenTheLoaderStopsEarly) {
  std::string file;
  for (int idx = 0; idx < 200000; ++idx) file += "1,'abc'\n";
  for (int taken = 0; taken < 3; ++taken) {
    ReadAhead ahead(ReaderOf(file), Status::IoError("x"), nullptr, {});
    for (int idx = 0; idx < taken; ++idx) ASSERT_NE(ahead.Next(), nullptr);
    // Destroyed with the reader blocked on a full queue, or still reading: it must return.
  }
}

}  // namespace
}  // namespace volmek::datafiles
