// SPDX-License-Identifier: MIT
#include "service/cache/document_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "support/scratch_directory.h"

namespace tamsel {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

struct Found {
  std::vector<std::string> paths;
  std::vector<std::pair<std::string, int>> problems;
};

Found find(const std::vector<std::string>& paths) {
  Found found;
  const DocumentList list = findDocuments(
      paths, [&](const std::string& path, int error) { found.problems.emplace_back(path, error); });
  for (const auto& document : list.documents) found.paths.push_back(list.pathOf(document));
  return found;
}

class DocumentWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.path();
    for (const char* name : {"a.md", "b.txt", "c.png", "README", "sub/d.py",
                             "sub/deeper/e.markdown", ".git/objects/f.md", ".hidden.md"}) {
      dir.write(name, "# text\n");
    }
    ASSERT_EQ(::symlink(root.c_str(), (root + "/loop").c_str()), 0);
    ASSERT_EQ(::symlink("sub/d.py", (root + "/link.md").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere.md", (root + "/dangling.md").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/pipe.md").c_str(), 0600), 0);
  }

  testing::ScratchDirectory dir;
  std::string root;
};

TEST_F(DocumentWalk, FindsClaimedFilesWithoutFollowingDirectoryLinks) {
  const Found found = find({root});
  EXPECT_THAT(found.paths, UnorderedElementsAre(root + "/a.md", root + "/b.txt", root + "/README",
                                                root + "/sub/d.py", root + "/sub/deeper/e.markdown",
                                                root + "/.hidden.md", root + "/link.md"));
  EXPECT_TRUE(found.problems.empty());
}

TEST_F(DocumentWalk, CoversEachFileOnceAndReportsMissingPaths) {
  const Found found = find({root + "/sub/d.py", root + "/sub", root + "/sub/../sub/",
                            root + "/none", root + "/sub/d.py", root + "/c.png"});
  EXPECT_THAT(found.paths,
              UnorderedElementsAre(root + "/sub/d.py", root + "/sub/deeper/e.markdown"));
  EXPECT_THAT(found.problems, ElementsAre(Pair(root + "/none", ENOENT)));
}

TEST_F(DocumentWalk, EntersHiddenDirectoriesOnlyWhenNamed) {
  EXPECT_THAT(find({root + "/.git"}).paths, ElementsAre(root + "/.git/objects/f.md"));
}

TEST_F(DocumentWalk, KeepsPathsAsNamedWithoutResolvingLinks) {
  // File managers look thumbnails up by the path browsed, link included.
  ASSERT_EQ(::symlink((root + "/sub").c_str(), (root + "/alias").c_str()), 0);
  EXPECT_THAT(find({root + "/alias/deeper/./"}).paths,
              ElementsAre(root + "/alias/deeper/e.markdown"));
  EXPECT_THAT(find({root + "//alias/../link.md"}).paths, ElementsAre(root + "/link.md"));
  // A folder reached again, through a link or a loop, is searched once.
  EXPECT_THAT(find({root + "/alias", root + "/sub", root + "/loop/loop/sub"}).paths,
              UnorderedElementsAre(root + "/alias/d.py", root + "/alias/deeper/e.markdown"));
}

}  // namespace
}  // namespace tamsel
