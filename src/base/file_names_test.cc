#include "base/file_names.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/harness.h"

namespace volmek {
namespace {

TEST(FindFileIgnoringCase, AnExistingNameIsKeptAsTyped) {
  testing::TempDir dir;
  dir.Write("Carga.SQL", "x");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("Carga.SQL")), dir.File("Carga.SQL"));
}

TEST(FindFileIgnoringCase, AnUpperCasedNameFindsTheLowerCaseFile) {
  testing::TempDir dir;
  dir.Write("carga.sql", "x");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CARGA.sql")), dir.File("carga.sql"));
}

TEST(FindFileIgnoringCase, DirectoriesAreLookedUpIgnoringCaseToo) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.File("sub/dir"));
  dir.Write("sub/dir/carga.sql", "x");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("sub/dir/CARGA.SQL")), dir.File("sub/dir/carga.sql"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("SUB/Dir/carga.sql")), dir.File("sub/dir/carga.sql"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("SUB/NADA/carga.sql")), std::nullopt);
}

TEST(FindFileIgnoringCase, ARelativePathWithDirectoriesIsResolved) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.File("guiones"));
  dir.Write("guiones/alta.sql", "x");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  auto found = FindFileIgnoringCase("GUIONES/ALTA.sql");
  auto dotted = FindFileIgnoringCase("./GUIONES/../GUIONES/ALTA.SQL");
  std::filesystem::current_path(previous);
  EXPECT_EQ(found, "guiones/alta.sql");
  EXPECT_EQ(dotted, "./guiones/../guiones/alta.sql");
}

TEST(FindFileIgnoringCase, SeveralMatchesGiveTheFirstInByteOrder) {
  testing::TempDir dir;
  dir.Write("carga.sql", "x");
  dir.Write("Carga.sql", "y");
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CARGA.SQL")), dir.File("Carga.sql"));
}

TEST(FindFileIgnoringCase, MissingFilesAndDirectoriesAreNotFound) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.File("carga.sql"));
  EXPECT_EQ(FindFileIgnoringCase(dir.File("CARGA.SQL")), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(dir.File("otra.sql")), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(dir.File("nodir/otra.sql")), std::nullopt);
  EXPECT_EQ(FindFileIgnoringCase(""), std::nullopt);
}

TEST(FindFileIgnoringCase, ARelativeNameIsLookedUpInTheCurrentDirectory) {
  testing::TempDir dir;
  dir.Write("guion", "x");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  auto found = FindFileIgnoringCase("GUION");
  std::filesystem::current_path(previous);
  EXPECT_EQ(found, "guion");
}

}  // namespace
}  // namespace volmek
