#include "datafiles/row_writer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/harness.h"

namespace volmek::datafiles {
namespace {

class RowWriterTest : public ::testing::Test {
 protected:
  // Fills `batch` with `rows` rows of an integer and a text of `width` bytes, numbered on from
  // `first`, and appends their lines to `want`.
  static void Fill(db::FetchedRows& batch, int first, int rows, std::size_t width,
                   std::string& want) {
    batch.columns = 2;
    for (int id = first; id < first + rows; ++id) {
      db::FetchedValue number;
      number.is_null = false;
      number.integer = id;
      db::FetchedValue text;
      text.is_null = false;
      text.text = fmt::format("{:>{}}", id, width);
      batch.Append(number);
      batch.Append(text);
      ++batch.rows;
      want += fmt::format("{},'{}'\n", id, text.text);
    }
  }

  static std::vector<db::Delivery> Deliveries() {
    return {db::Delivery::kInteger, db::Delivery::kText};
  }

  volmek::testing::TempDir dir_;
};

// Many more batches than may wait at once, and more text than one piece: every line arrives, in
// the order handed over, and nothing is written under the name before the commit.
TEST_F(RowWriterTest, BatchesArriveWholeAndInOrder) {
  auto file = ReplacingFile::Create(dir_.File("T.txt"));
  ASSERT_TRUE(file.has_value());
  std::string want;
  {
    RowWriter writer(*file, Deliveries());
    for (int batch_idx = 0; batch_idx < 200; ++batch_idx) {
      db::FetchedRows* batch = writer.Empty();
      ASSERT_NE(batch, nullptr);
      Fill(*batch, batch_idx * 100, 100, 120, want);
      writer.Hand();
    }
    ASSERT_TRUE(writer.Finish().ok());
  }
  EXPECT_GT(want.size(), 2u << 20);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("T.txt")));
  ASSERT_TRUE(file->Commit().ok());
  EXPECT_EQ(dir_.Read("T.txt"), want);
}

// A write that fails while rows are still fetched stops the fetching (Empty gives nullptr) and
// is what Finish returns; the earlier copy is kept.
TEST_F(RowWriterTest, WriteFailureStopsTheFetchingAndIsReportedByFinish) {
  dir_.Write("T.txt", "previo\n");
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_action = {};
  sigaction(SIGXFSZ, &ignore, &old_action);
  rlimit old_limit = {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  int handed = 0;
  Status finished;
  {
    auto file = ReplacingFile::Create(dir_.File("T.txt"));
    ASSERT_TRUE(file.has_value());
    RowWriter writer(*file, Deliveries());
    std::string want;
    // Far more than the limit: the writer must stop it long before the end.
    while (handed < 100000) {
      db::FetchedRows* batch = writer.Empty();
      if (batch == nullptr) break;
      Fill(*batch, handed * 100, 100, 90, want);
      writer.Hand();
      ++handed;
    }
    finished = writer.Finish();
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &old_action, nullptr);

  EXPECT_LT(handed, 100000);
  EXPECT_EQ(finished.code(), Status::Code::kIoError);
  EXPECT_EQ(dir_.Read("T.txt"), "previo\n");
}

// A writer destroyed without Finish (a backup that stops on an error) ends its thread, whether
// it was waiting for a batch or had batches still to write, after the piece it was writing:
// the file then holds whole batches only and is the caller's again.
TEST_F(RowWriterTest, DestroyedWithoutFinishLeavesNothingRunning) {
  auto file = ReplacingFile::Create(dir_.File("T.txt"));
  ASSERT_TRUE(file.has_value());
  { RowWriter idle(*file, Deliveries()); }
  std::string want;
  {
    RowWriter busy(*file, Deliveries());
    for (int batch_idx = 0; batch_idx < 3; ++batch_idx) {
      db::FetchedRows* batch = busy.Empty();
      ASSERT_NE(batch, nullptr);
      Fill(*batch, batch_idx * 1000, 1000, 200, want);
      busy.Hand();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("T.txt")));
  ASSERT_TRUE(file->Commit().ok());
  const std::string written = dir_.Read("T.txt");
  EXPECT_TRUE(want.starts_with(written));
  EXPECT_TRUE(written.empty() || written.back() == '\n');
}

}  // namespace
}  // namespace volmek::datafiles
