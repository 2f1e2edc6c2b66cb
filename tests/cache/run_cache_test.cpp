#include "service/cache/run_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "cache/cache_test_support.h"
#include "service/cache/thumbnail_file.h"

namespace tamsel {
namespace {

struct PngFacts {
  unsigned width = 0, height = 0;
  std::map<std::string, std::string> text;
};

PngFacts readFacts(const std::string& path) {
  const std::string bytes = test::readWholeFile(path);
  PngFacts facts;
  if (bytes.size() < 24) return facts;
  auto be32 = [&](std::size_t at) {
    unsigned v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  facts.width = be32(16);
  facts.height = be32(20);
  for (auto& [key, value] : readPngLeadingText(bytes).entries) facts.text[key] = value;
  return facts;
}

class BuildCache : public testing::Test {
 protected:
  CacheCounts run(std::vector<std::string> paths, CacheFlavor flavor = CacheFlavor::large) {
    log.str("");
    CacheReporter reporter(log, false);
    return buildCache(
        {.flavor = flavor, .jobs = 2, .paths = std::move(paths), .cacheHome = cache.path()},
        reporter);
  }

  std::string thumbnailOf(const std::string& path, CacheFlavor flavor = CacheFlavor::large) {
    return thumbnailDirectory(cache.path(), flavor) + "/" + thumbnailFileName(*fileUriOf(path));
  }

  test::TemporaryDirectory tree, cache;
  std::ostringstream log;
};

void expectCounts(const CacheCounts& counts, std::size_t made, std::size_t fresh,
                  std::size_t failed) {
  EXPECT_EQ(counts.made, made);
  EXPECT_EQ(counts.fresh, fresh);
  EXPECT_EQ(counts.failed, failed);
}

TEST_F(BuildCache, WritesWhatThumbnailReadersCheck) {
  const std::string notes = tree.write("notes.md", "# Notes\n\nSome text.\n");
  const std::string empty = tree.write("sub/empty.txt", "");
  test::setModificationTime(notes, 1'600'000'000);
  expectCounts(run({tree.path()}), 2, 0, 0);
  EXPECT_EQ(log.str().find('\n'), std::string::npos) << log.str();

  const PngFacts facts = readFacts(thumbnailOf(notes));
  EXPECT_EQ(facts.width, 198u);  // ceil(256 * 0.773)
  EXPECT_EQ(facts.height, 256u);
  EXPECT_EQ(facts.text.at("Thumb::URI"), "file://" + notes);
  EXPECT_EQ(facts.text.at("Thumb::MTime"), "1600000000");
  EXPECT_EQ(facts.text.at("Thumb::Size"), "20");
  EXPECT_EQ(facts.text.at("Thumb::Mimetype"), "text/markdown");
  EXPECT_TRUE(facts.text.at("Software").starts_with("tamsel-thumbnail "));
  EXPECT_EQ(readFacts(thumbnailOf(empty)).text.at("Thumb::Mimetype"), "text/plain");

  struct stat info {};
  ASSERT_EQ(::stat(thumbnailOf(notes).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(BuildCache, RendersOnlyWhatChanged) {
  const std::string a = tree.write("a.md", "# A\n");
  tree.write("b.md", "# B\n");
  test::setModificationTime(a, 1'000);
  expectCounts(run({tree.path()}), 2, 0, 0);
  expectCounts(run({tree.path()}), 0, 2, 0);

  test::setModificationTime(a, 2'000);
  expectCounts(run({tree.path()}), 1, 1, 0);
  EXPECT_EQ(readFacts(thumbnailOf(a)).text.at("Thumb::MTime"), "2000");
}

TEST_F(BuildCache, ReportsEachFailureAndGoesOn) {
  const std::string doc = tree.write("doc.md", "text\n");
  expectCounts(run({tree.path() + "/missing.md", doc}), 1, 0, 1);
  EXPECT_EQ(log.str(), "'" + tree.path() + "/missing.md': No such file or directory\n");

  // A cache that cannot hold the thumbnail directory fails every document.
  std::ostringstream out;
  const std::string blocked = tree.write("blocked", "a file, not a directory");
  const int status =
      runCache({.paths = {doc, tree.path() + "/x.md"}, .cacheHome = blocked}, out, false);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(
      out.str().starts_with("'" + tree.path() + "/x.md': No such file or directory\n'" + blocked +
                            "/thumbnails/large': Not a directory\n0 made, 0 fresh, 2 failed in "))
      << out.str();
}

}  // namespace
}  // namespace tamsel
