// SPDX-License-Identifier: MIT
// The cache's files, and runs of --cache over a tree.
#include "service/cache/run_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/confinement.h"
#include "service/cache/thumbnail_file.h"
#include "service/process_confinement.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

using Status = PngLeadingText::Status;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// One PNG chunk: length, type, data, and a CRC of zeros, which the walker
// does not check.
std::string chunk(const std::string& type, const std::string& data) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(data.size() >> shift);
  return bytes + type + data + std::string(4, '\0');
}

// Signature, IHDR, a tEXt chunk per pair, then `after`, an IDAT by default.
std::string png(const Pairs& text, const std::string& after = chunk("IDAT", "pixels")) {
  std::string bytes = "\x89PNG\r\n\x1a\n" + chunk("IHDR", std::string(13, '\1'));
  for (const auto& [key, value] : text) bytes += chunk("tEXt", key + '\0' + value);
  return bytes + after;
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

const Pairs keys{{"Thumb::URI", "file:///a.md"}, {"Thumb::MTime", "17"}};

TEST(PngLeadingText, ReadsTheTextBeforeTheImageData) {
  const std::string withKeys = png(keys);
  const struct {
    const char* what;
    std::string bytes;
    Status status;
    Pairs entries;
  } cases[] = {
      {"keys before the image", withKeys, Status::complete, keys},
      {"text after the image is past what is read",
       png({}, chunk("IDAT", "") + chunk("tEXt", std::string("a\0b", 3))),
       Status::complete,
       {}},
      {"other chunks are skipped",
       png({},
           chunk("pHYs", "123456789") + chunk("tEXt", std::string("k\0v", 3)) + chunk("IEND", "")),
       Status::complete,
       {{"k", "v"}}},
      {"text without a separator is skipped",
       png({}, chunk("tEXt", "novalue") + chunk("IEND", "")),
       Status::complete,
       {}},
      {"cut inside the text",
       withKeys.substr(0, withKeys.size() - 30),
       Status::truncated,
       {{"Thumb::URI", "file:///a.md"}}},
      {"cut inside the signature", "\x89PNG", Status::truncated, {}},
      {"no PNG", "GIF89a and more bytes", Status::invalid, {}},
      {"a length no PNG can have",
       std::string("\x89PNG\r\n\x1a\n\x80\0\0\0tEXt", 16),
       Status::invalid,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const PngLeadingText text = readPngLeadingText(c.bytes);
    EXPECT_EQ(text.status, c.status);
    EXPECT_EQ(text.entries, c.entries);
  }
}

class ThumbnailFiles : public ::testing::Test {
 protected:
  testing::ScratchDirectory dir;
  std::string directory = dir / "thumbnails/large";
  void SetUp() override { ASSERT_EQ(makeThumbnailDirectory(directory), 0); }
};

TEST_F(ThumbnailFiles, AreWrittenPrivateAndWhole) {
  EXPECT_EQ(modeOf(directory), 0700u);
  EXPECT_EQ(modeOf(dir / "thumbnails"), 0700u);
  const mode_t oldMask = ::umask(0);  // mode must not depend on the umask
  const int error = writeThumbnailFile(directory, "x.png", "first");
  ::umask(oldMask);
  ASSERT_EQ(error, 0);
  EXPECT_EQ(modeOf(directory + "/x.png"), 0600u);
  // Replacing leaves exactly one file: no temporary is left behind.
  ASSERT_EQ(writeThumbnailFile(directory, "x.png", "second"), 0);
  EXPECT_EQ(testing::readWholeFile(directory + "/x.png"), "second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1);
}

TEST_F(ThumbnailFiles, AreFreshOnlyForTheirUriAndTime) {
  const std::string path = dir.write("t.png", png(keys));
  EXPECT_TRUE(isFreshThumbnail(path, "file:///a.md", 17));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 18));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///b.md", 17));
  EXPECT_FALSE(isFreshThumbnail(dir / "none.png", "file:///a.md", 17));
  // Keys that are missing or not whole seconds never match.
  dir.write("t.png", png({{"Thumb::URI", "file:///a.md"}}));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 0));
  dir.write("t.png", png({{"Thumb::URI", "file:///a.md"}, {"Thumb::MTime", "17.5"}}));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 17));
  // A URI longer than the first read is still found.
  const std::string longUri = "file:///" + std::string(3 * pngTextFirstRead, 'n');
  dir.write("t.png", png({{"Thumb::URI", longUri}, {"Thumb::MTime", "9"}}));
  EXPECT_TRUE(isFreshThumbnail(path, longUri, 9));
}

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
                  std::vector<CacheFlavor> flavors = {CacheFlavor::large}, bool force = false,
                  const BeforeDrawing& beforeDrawing = {}) {
    log.str("");
    CacheReporter reporter(log, false);
    const CacheCounts counts = buildCache({.flavors = std::move(flavors),
                                           .jobs = 2,
                                           .force = force,
                                           .paths = std::move(paths),
                                           .cacheHome = cache.path(),
                                           .drawerProgram = TAMSEL_DRAWER_PROGRAM},
                                          reporter, beforeDrawing);
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
  EXPECT_EQ(modeOf(thumbnailOf(notes)), 0600u);

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

TEST_F(BuildCache, DrawsADocumentSavedAfterTheRunConfinedItself) {
  // An editor saves by renaming a new file over the old one. The run, confined
  // as the program confines it, must draw the new file, not record a failure.
  const std::string notes = tree.write("notes.md", "# Old\n");
  const pid_t child = ::fork();
  if (child == 0) {
    int go[2];
    int done[2];
    if (::pipe(go) != 0 || ::pipe(done) != 0) ::_exit(2);
    if (::fork() == 0) {
      char byte = 0;
      if (::read(go[0], &byte, 1) != 1) ::_exit(2);
      const std::string saved = tree.write("notes.md~", "# New\n");
      setModificationTime(saved, 1'700'000'000);
      ::rename(saved.c_str(), notes.c_str());
      ::_exit(::write(done[1], &byte, 1) == 1 ? 0 : 2);
    }
    const std::string counts =
        run({notes}, {CacheFlavor::large}, false,
            [&](const DocumentList&, const std::string& cacheHome) {
              confine(cacheConfinement(cacheHome, TAMSEL_DRAWER_PROGRAM));
              char byte = 0;
              if (::write(go[1], &byte, 1) != 1 || ::read(done[0], &byte, 1) != 1) {
                ::_exit(2);
              }
            });
    std::fprintf(stderr, "%s %s", counts.c_str(), log.str().c_str());
    ::_exit(counts == "1 0 0" ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(pngText(thumbnailOf(notes)).at("Thumb::MTime"), "1700000000");
}

TEST_F(BuildCache, ReportsEachFailureAndGoesOn) {
  const std::string doc = tree.write("doc.md", "text\n");
  EXPECT_EQ(run({tree.path() + "/missing.md", doc}), "1 0 1");
  EXPECT_EQ(log.str(), "'" + tree.path() + "/missing.md': No such file or directory\n");

  // A cache that cannot hold the thumbnail directory fails every document.
  std::ostringstream out;
  const std::string blocked = tree.write("blocked", "a file, not a directory");
  const int status = runCache({.paths = {doc, tree.path() + "/x.md"},
                               .cacheHome = blocked,
                               .drawerProgram = TAMSEL_DRAWER_PROGRAM},
                              out, false);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(
      out.str().starts_with("'" + tree.path() + "/x.md': No such file or directory\n'" + blocked +
                            "/thumbnails/large': Not a directory\n0 made, 0 fresh, 2 failed, 0 "
                            "failed earlier in "))
      << out.str();
}

}  // namespace
}  // namespace tamsel
