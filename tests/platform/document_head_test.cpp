// SPDX-License-Identifier: MIT
#include "platform/document_head.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "platform/replacement_file.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

using testing::readWholeFile;

TEST(ReplacementFileTest, ReplacesWholeWithModeFromUmask) {
  const testing::ScratchDirectory dir;
  const auto path = dir.write("out.png", "old");
  const mode_t mask = ::umask(027);
  {
    ReplacementFile file(path);
    ASSERT_EQ(file.open(), 0);
    EXPECT_EQ(readWholeFile(path), "old");  // nothing visible until commit
    ASSERT_EQ(file.commit("new"), 0);
  }
  ::umask(mask);
  EXPECT_EQ(readWholeFile(path), "new");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(dir.entryCount(), 1);
}

// A host that made OUTPUT empty and holds it open reads the image through its
// own descriptor, so only the same inode will do; anything else is replaced.
TEST(ReplacementFileTest, FillsAnEmptyFileInPlaceWhenAsked) {
  const testing::ScratchDirectory dir;
  const struct {
    const char* name;
    std::string before;
    EmptyFile empty;
    bool sameFile;
  } rows[] = {
      {"host.png", "", EmptyFile::fill, true},
      {"old.png", "old", EmptyFile::fill, false},
      {"cache.png", "", EmptyFile::replace, false},
  };
  for (const auto& row : rows) {
    const auto path = dir.write(row.name, row.before);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const UniqueFd held(::open(path.c_str(), O_RDONLY));
    struct stat before {};
    ASSERT_EQ(::fstat(held.get(), &before), 0);
    ReplacementFile file(path, std::nullopt, row.empty);
    ASSERT_EQ(file.open(), 0) << row.name;
    EXPECT_EQ(file.fillsInPlace(), row.sameFile) << row.name;
    EXPECT_EQ(readWholeFile(path), row.before) << row.name;  // nothing before commit
    ASSERT_EQ(file.commit("new"), 0) << row.name;

    char seen[8] = {};
    EXPECT_EQ(::pread(held.get(), seen, sizeof seen, 0),
              row.sameFile ? 3 : ssize_t(row.before.size()))
        << row.name;
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino == before.st_ino, row.sameFile) << row.name;
    if (row.sameFile) {
      EXPECT_EQ(after.st_mode & 0777, 0600u) << row.name;
    }
    EXPECT_EQ(readWholeFile(path), "new") << row.name;
  }
  EXPECT_EQ(dir.entryCount(), 3);
}

}  // namespace
}  // namespace tamsel
