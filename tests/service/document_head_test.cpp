#include "platform/document_head.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/replacement_file.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;

class ScratchDirectory : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tamsel-service-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& bytes) {
    const auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
};

using DocumentHeadTest = ScratchDirectory;

TEST_F(DocumentHeadTest, ReadsAtMostTheLimit) {
  EXPECT_EQ(readDocumentHead(write("empty.md", "")), "");
  EXPECT_EQ(readDocumentHead(write("small.md", "# Hi\n")), "# Hi\n");
  const std::string exact(documentHeadLimit, 'a');
  EXPECT_EQ(readDocumentHead(write("exact.md", exact)), exact);
  const std::string big = std::string(documentHeadLimit, 'b') + "tail";
  EXPECT_EQ(readDocumentHead(write("big.md", big)), big.substr(0, documentHeadLimit));
}

TEST_F(DocumentHeadTest, HugeSparseFileCostsOnlyTheHead) {
  const auto path = write("huge.md", "# Sparse\n");
  ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 30), 0);
  const std::string head = readDocumentHead(path);
  EXPECT_EQ(head.size(), documentHeadLimit);
  EXPECT_EQ(head.substr(0, 9), "# Sparse\n");
}

TEST_F(DocumentHeadTest, AnythingButARegularFileIsEmptyAndNeverBlocks) {
  const auto fifo = (dir_ / "pipe.md").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO with no writer would block a plain open or read forever.
  const std::string paths[] = {fifo, dir_.string(), "/dev/zero", "/dev/null",
                               (dir_ / "absent.md").string()};
  for (const auto& path : paths) {
    EXPECT_EQ(readDocumentHead(path), "") << path;
  }
}

TEST_F(DocumentHeadTest, LookupTellsMissingFromPresent) {
  EXPECT_EQ(pathLookupError(write("here.md", "x")), 0);
  EXPECT_EQ(pathLookupError(dir_.string()), 0);
  EXPECT_EQ(pathLookupError((dir_ / "absent.md").string()), ENOENT);
  EXPECT_EQ(pathLookupError((dir_ / "here.md" / "x").string()), ENOTDIR);
}

using ReplacementFileTest = ScratchDirectory;

TEST_F(ReplacementFileTest, ReplacesWholeWithModeFromUmask) {
  const auto path = write("out.png", "old");
  const mode_t mask = ::umask(027);
  {
    ReplacementFile file(path);
    ASSERT_EQ(file.open(), 0);
    EXPECT_EQ(read(path), "old");  // nothing visible until commit
    ASSERT_EQ(file.commit("new"), 0);
  }
  ::umask(mask);
  EXPECT_EQ(read(path), "new");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ReplacementFileTest, FailuresLeaveThePathAsItWas) {
  fs::create_directory(dir_ / "folder.png");
  const std::pair<std::string, int> cases[] = {
      {(dir_ / "missing" / "out.png").string(), ENOENT},
      {(dir_ / "folder.png").string(), EISDIR},
      {(dir_ / "new").string() + "/", EISDIR},
      {"", ENOENT},
  };
  for (const auto& [path, error] : cases) {
    ReplacementFile file(path);
    EXPECT_EQ(file.open(), error) << path;
  }

  // Abandoned before commit: the temporary file goes too.
  const auto kept = write("kept.png", "old");
  {
    ReplacementFile file(kept);
    ASSERT_EQ(file.open(), 0);
  }
  EXPECT_EQ(read(kept), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace tamsel
