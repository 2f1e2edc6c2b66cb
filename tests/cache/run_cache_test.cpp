// SPDX-License-Identifier: MIT
#include "service/cache/run_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstddef>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "service/cache/thumbnail_file.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

void setModificationTime(const std::string& path, long seconds) {
  const timeval times[2] = {{.tv_sec = seconds, .tv_usec = 0}, {.tv_sec = seconds, .tv_usec = 0}};
  ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

std::map<std::string, std::string> pngText(const std::string& path) {
  std::map<std::string, std::string> text;
  for (auto& [key, value] : readPngLeadingText(testing::readWholeFile(path)).entries) {
    text[key] = value;
  }
  return text;
}

class BuildCache : public ::testing::Test {
 protected:
  // "made fresh failed" of a run over `paths`, then " E" when E documents
  // failed earlier.
  std::string run(std::vector<std::string> paths,
                  std::vector<CacheFlavor> flavors = {CacheFlavor::large}, bool force = false) {
    log.str("");
    CacheReporter reporter(log, false);
    const CacheCounts counts = buildCache({.flavors = std::move(flavors),
                                           .jobs = 2,
                                           .force = force,
                                           .paths = std::move(paths),
                                           .cacheHome = cache.path()},
                                          reporter);
    return std::to_string(counts.made) + " " + std::to_string(counts.fresh) + " " +
           std::to_string(counts.failed) +
           (counts.failedEarlier ? " " + std::to_string(counts.failedEarlier) : "");
  }

  std::string thumbnailOf(const std::string& path, CacheFlavor flavor = CacheFlavor::large) {
    return thumbnailDirectory(cache.path(), flavor) + "/" + thumbnailFileName(*fileUriOf(path));
  }

  testing::ScratchDirectory tree, cache;
  std::ostringstream log;
};

TEST_F(BuildCache, WritesWhatThumbnailReadersCheckAndRendersOnlyWhatChanged) {
  const std::string notes = tree.write("notes.md", "# Notes\n\nSome text.\n");
  const std::string empty = tree.write("sub/empty.txt", "");
  setModificationTime(notes, 1'600'000'000);
  EXPECT_EQ(run({tree.path()}), "2 0 0");
  EXPECT_EQ(log.str().find('\n'), std::string::npos) << log.str();

  // Its size, and that readers find it, is checked against GNOME's own
  // thumbnail factory by gnome_factory_test.py.
  const auto facts = pngText(thumbnailOf(notes));
  EXPECT_EQ(facts.at("Thumb::URI"), "file://" + notes);
  EXPECT_EQ(facts.at("Thumb::MTime"), "1600000000");
  EXPECT_EQ(facts.at("Thumb::Size"), "20");
  EXPECT_EQ(facts.at("Thumb::Mimetype"), "text/markdown");
  EXPECT_TRUE(facts.at("Software").starts_with("tamsel-thumbnail "));
  EXPECT_EQ(pngText(thumbnailOf(empty)).at("Thumb::Mimetype"), "text/plain");
  struct stat info {};
  ASSERT_EQ(::stat(thumbnailOf(notes).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  EXPECT_EQ(run({tree.path()}), "0 2 0");
  setModificationTime(notes, 1'600'000'001);
  EXPECT_EQ(run({tree.path()}), "1 1 0");
  EXPECT_EQ(pngText(thumbnailOf(notes)).at("Thumb::MTime"), "1600000001");
}

TEST_F(BuildCache, DrawsEachFlavorFromOneRun) {
  const std::string notes = tree.write("notes.md", "# Notes\n");
  EXPECT_EQ(run({notes}, {CacheFlavor::large, CacheFlavor::xLarge, CacheFlavor::xxLarge}), "1 0 0");
  const std::pair<CacheFlavor, std::string> sizes[] = {{CacheFlavor::large, "198x256"},
                                                       {CacheFlavor::xLarge, "396x512"},
                                                       {CacheFlavor::xxLarge, "792x1024"}};
  for (const auto& [flavor, size] : sizes) {
    const std::string png = testing::readWholeFile(thumbnailOf(notes, flavor));
    ASSERT_GE(png.size(), 24u);
    const auto side = [&](std::size_t at) {
      return std::to_string((static_cast<unsigned char>(png[at + 2]) << 8) |
                            static_cast<unsigned char>(png[at + 3]));
    };
    EXPECT_EQ(side(16) + "x" + side(20), size);
  }
  // Fresh only when fresh in every flavor asked for.
  EXPECT_EQ(run({notes}, {CacheFlavor::xLarge, CacheFlavor::large}), "0 1 0");
  EXPECT_EQ(run({notes}, {CacheFlavor::normal, CacheFlavor::large}), "1 0 0");
}

TEST_F(BuildCache, ReportsEachFailureAndGoesOn) {
  const std::string doc = tree.write("doc.md", "text\n");
  EXPECT_EQ(run({tree.path() + "/missing.md", doc}), "1 0 1");
  EXPECT_EQ(log.str(), "'" + tree.path() + "/missing.md': No such file or directory\n");

  // A cache that cannot hold the thumbnail directory fails every document.
  std::ostringstream out;
  const std::string blocked = tree.write("blocked", "a file, not a directory");
  const int status =
      runCache({.paths = {doc, tree.path() + "/x.md"}, .cacheHome = blocked}, out, false);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(
      out.str().starts_with("'" + tree.path() + "/x.md': No such file or directory\n'" + blocked +
                            "/thumbnails/large': Not a directory\n0 made, 0 fresh, 2 failed, 0 "
                            "failed earlier in "))
      << out.str();
}

}  // namespace
}  // namespace tamsel
