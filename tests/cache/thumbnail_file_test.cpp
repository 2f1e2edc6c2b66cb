// SPDX-License-Identifier: MIT
#include "service/cache/thumbnail_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>

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

}  // namespace
}  // namespace tamsel
