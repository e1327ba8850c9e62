#include "datafiles/replacing_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "testing/harness.h"

namespace volmek::datafiles {
namespace {

class ReplacingFileTest : public ::testing::Test {
 protected:
  std::size_t FilesInDir() const {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      ++count;
    }
    return count;
  }
  volmek::testing::TempDir dir_;
};

TEST_F(ReplacingFileTest, NothingAppearsUnderTheNameBeforeCommit) {
  auto file = ReplacingFile::Create(dir_.File("T.txt"));
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->Write("1\n").ok());
  EXPECT_FALSE(dir_.Exists("T.txt"));
  ASSERT_TRUE(file->Commit().ok());
  EXPECT_EQ(dir_.Read("T.txt"), "1\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(ReplacingFileTest, AbandonedWriterKeepsThePreviousFileAndRemovesItsTemporary) {
  dir_.Write("T.txt", "previo\n");
  {
    auto file = ReplacingFile::Create(dir_.File("T.txt"));
    ASSERT_TRUE(file.has_value());
    ASSERT_TRUE(file->Write(std::string(200000, 'x')).ok());
  }
  EXPECT_EQ(dir_.Read("T.txt"), "previo\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(ReplacingFileTest, LargeWritesArriveWholeAndInOrder) {
  auto file = ReplacingFile::Create(dir_.File("T.txt"));
  ASSERT_TRUE(file.has_value());
  std::string expected;
  for (int idx = 0; idx < 5000; ++idx) {
    std::string piece =
        std::to_string(idx) + std::string(static_cast<std::size_t>(idx % 97), 'a') + "\n";
    expected += piece;
    ASSERT_TRUE(file->Write(piece).ok());
  }
  std::string big(300000, 'b');
  expected += big;
  ASSERT_TRUE(file->Write(big).ok());
  ASSERT_TRUE(file->Commit().ok());
  EXPECT_EQ(dir_.Read("T.txt"), expected);
}

TEST_F(ReplacingFileTest, MissingDirectoryFailsAtCreation) {
  auto file = ReplacingFile::Create(dir_.File("no/T.txt"));
  ASSERT_FALSE(file.has_value());
  EXPECT_EQ(file.error().code(), Status::Code::kIoError);
}

TEST_F(ReplacingFileTest, FileSizeLimitFailsTheWriteAndKeepsThePreviousFile) {
  dir_.Write("T.txt", "previo\n");
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_action = {};
  sigaction(SIGXFSZ, &ignore, &old_action);
  rlimit old_limit = {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  Status write_status;
  Status commit_status;
  {
    auto file = ReplacingFile::Create(dir_.File("T.txt"));
    ASSERT_TRUE(file.has_value());
    for (int idx = 0; idx < 100 && write_status.ok(); ++idx) {
      write_status = file->Write(std::string(10000, 'x'));
    }
    commit_status = file->Commit();
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &old_action, nullptr);

  EXPECT_EQ(write_status.code(), Status::Code::kIoError);
  EXPECT_FALSE(commit_status.ok());
  EXPECT_EQ(dir_.Read("T.txt"), "previo\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

}  // namespace
}  // namespace volmek::datafiles
