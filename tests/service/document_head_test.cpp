#include "platform/document_head.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/replacement_file.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

using testing::readWholeFile;

TEST(DocumentHeadTest, ReadsAtMostTheLimit) {
  const testing::ScratchDirectory dir;
  EXPECT_EQ(readDocumentHead(dir.write("empty.md", "")), "");
  const std::string exact(documentHeadLimit, 'a');
  EXPECT_EQ(readDocumentHead(dir.write("exact.md", exact)), exact);
  EXPECT_EQ(readDocumentHead(dir.write("big.md", exact + "tail")), exact);
}

TEST(DocumentHeadTest, AnythingButARegularFileIsEmptyAndNeverBlocks) {
  const testing::ScratchDirectory dir;
  // A FIFO with no writer would block a plain open or read forever.
  ASSERT_EQ(::mkfifo((dir / "pipe.md").c_str(), 0600), 0);
  for (const std::string& path : {dir / "pipe.md", dir.path(), std::string("/dev/zero"),
                                  std::string("/dev/null"), dir / "absent.md"}) {
    EXPECT_EQ(readDocumentHead(path), "") << path;
  }
}

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

TEST(ReplacementFileTest, FailuresLeaveThePathAsItWas) {
  const testing::ScratchDirectory dir;
  std::filesystem::create_directory(dir / "folder.png");
  const std::pair<std::string, int> cases[] = {
      {dir / "missing/out.png", ENOENT},
      {dir / "folder.png", EISDIR},
      {dir / "new/", EISDIR},
      {"", ENOENT},
  };
  for (const auto& [path, error] : cases) EXPECT_EQ(ReplacementFile(path).open(), error) << path;

  // Abandoned before commit: the temporary file goes too.
  const auto kept = dir.write("kept.png", "old");
  ASSERT_EQ(ReplacementFile(kept).open(), 0);
  EXPECT_EQ(readWholeFile(kept), "old");
  EXPECT_EQ(dir.entryCount(), 2);
}

}  // namespace
}  // namespace tamsel
