#include "datafiles/replacing_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

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

// The bytes of the first `size` bytes of file `path` that are in the system's cache.
std::size_t CachedBytes(const std::string& path, std::size_t size) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return size;
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return size;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  std::size_t cached = size;
  if (mincore(map, size, resident.data()) == 0) {
    cached = 0;
    for (unsigned char flags : resident) cached += (flags & 1) != 0 ? page : 0;
  }
  munmap(map, size);
  return cached;
}

// A backup of a large table is written through the cache, not kept in it: memory neither grows
// with the file nor is taken from pages the system has not used for a while.
TEST_F(ReplacingFileTest, LargeFileLeavesOnlyItsLastPartsInTheCache) {
  struct statfs where = {};
  ASSERT_EQ(statfs(dir_.path().c_str(), &where), 0);
  // Memory is where a file of these systems lives: nothing to write out or drop.
  if (where.f_type == TMPFS_MAGIC || where.f_type == RAMFS_MAGIC) {
    GTEST_SKIP() << "the temporary directory is in memory";
  }
  auto file = ReplacingFile::Create(dir_.File("T.txt"));
  ASSERT_TRUE(file.has_value());
  constexpr std::size_t kMiB = 1 << 20;
  constexpr std::size_t kPieces = 40;
  std::string expected;
  for (std::size_t idx = 0; idx < kPieces; ++idx) {
    std::string piece(kMiB, static_cast<char>('a' + idx % 26));
    ASSERT_TRUE(file->Write(piece).ok());
    expected += piece;
  }
  EXPECT_LE(CachedBytes(file->temporary_name(), kPieces * kMiB), 16 * kMiB);
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
