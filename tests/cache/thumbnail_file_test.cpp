#include "service/cache/thumbnail_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cache/cache_test_support.h"
#include "cache/png_chunks.h"

namespace tamsel {
namespace {

using test::idatChunk;
using test::pngChunk;
using test::pngWithText;
using Status = PngLeadingText::Status;
using Pairs = std::vector<std::pair<std::string, std::string>>;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(ThumbnailName, IsTheMd5OfTheEscapedUri) {
  // The worked example of the thumbnail standard.
  EXPECT_EQ(thumbnailFileName("file:///home/jens/photos/me.png"),
            "c6ee772d9e49320e97ec29a7eb5b1697.png");
  EXPECT_EQ(fileUriOf("/tmp/a b/\xc3\xa9#1.md"), "file:///tmp/a%20b/%C3%A9%231.md");
  EXPECT_EQ(fileUriOf("relative/path.md"), std::nullopt);
}

struct LeadingTextCase {
  const char* name;
  std::string bytes;
  Status status;
  Pairs entries;
};

class PngLeadingTextReads : public testing::TestWithParam<LeadingTextCase> {};

TEST_P(PngLeadingTextReads, Case) {
  const auto& c = GetParam();
  const PngLeadingText text = readPngLeadingText(c.bytes);
  EXPECT_EQ(text.status, c.status);
  EXPECT_EQ(text.entries, c.entries);
}

const Pairs keys{{"Thumb::URI", "file:///a.md"}, {"Thumb::MTime", "17"}};
const std::string withKeys = pngWithText(keys, idatChunk());

INSTANTIATE_TEST_SUITE_P(
    Chunks, PngLeadingTextReads,
    testing::Values(
        LeadingTextCase{"KeysBeforeImage", withKeys, Status::complete, keys},
        // Text after the image data is past what a freshness check reads.
        LeadingTextCase{"TextAfterImageIgnored",
                        pngWithText({}, idatChunk() + pngChunk("tEXt", std::string("a\0b", 3))),
                        Status::complete,
                        {}},
        LeadingTextCase{"OtherChunksSkipped",
                        pngWithText({}, pngChunk("pHYs", "123456789") +
                                            pngChunk("tEXt", std::string("k\0v", 3)) + idatChunk()),
                        Status::complete,
                        {{"k", "v"}}},
        LeadingTextCase{"TextWithoutSeparatorSkipped",
                        pngWithText({}, pngChunk("tEXt", "novalue") + idatChunk()),
                        Status::complete,
                        {}},
        LeadingTextCase{"CutInsideText",
                        withKeys.substr(0, withKeys.size() - 30),
                        Status::truncated,
                        {{"Thumb::URI", "file:///a.md"}}},
        LeadingTextCase{"NotPng", "GIF89a and more bytes", Status::invalid, {}},
        LeadingTextCase{"ImpossibleLength",
                        std::string("\x89PNG\r\n\x1a\n\xff\xff\xff\xfftEXt", 16),
                        Status::invalid,
                        {}}),
    [](const auto& test) { return std::string(test.param.name); });

class ThumbnailFiles : public testing::Test {
 protected:
  test::TemporaryDirectory dir;
  std::string directory = dir.path() + "/thumbnails/large";
  void SetUp() override { ASSERT_EQ(makeThumbnailDirectory(directory), 0); }
};

TEST_F(ThumbnailFiles, AreWrittenPrivateAndWhole) {
  EXPECT_EQ(modeOf(directory), 0700u);
  EXPECT_EQ(modeOf(dir.path() + "/thumbnails"), 0700u);
  const mode_t oldMask = ::umask(0);  // mode must not depend on the umask
  const int error = writeThumbnailFile(directory, "x.png", withKeys);
  ::umask(oldMask);
  ASSERT_EQ(error, 0);
  EXPECT_EQ(modeOf(directory + "/x.png"), 0600u);
  EXPECT_EQ(test::readWholeFile(directory + "/x.png"), withKeys);
  // Replacing leaves exactly one file: no temporary is left behind.
  ASSERT_EQ(writeThumbnailFile(directory, "x.png", "second"), 0);
  EXPECT_EQ(test::readWholeFile(directory + "/x.png"), "second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1);
}

TEST_F(ThumbnailFiles, FailWithTheCause) {
  EXPECT_EQ(writeThumbnailFile(directory + "/missing", "x.png", "png"), ENOENT);
  const std::string file = dir.write("plain", "");
  EXPECT_EQ(writeThumbnailFile(file, "x.png", "png"), ENOTDIR);
  EXPECT_NE(makeThumbnailDirectory(file + "/sub"), 0);
}

TEST_F(ThumbnailFiles, AreFreshOnlyForTheirUriAndTime) {
  const std::string path = directory + "/t.png";
  ASSERT_EQ(writeThumbnailFile(directory, "t.png", withKeys), 0);
  EXPECT_TRUE(isFreshThumbnail(path, "file:///a.md", 17));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 18));
  EXPECT_FALSE(isFreshThumbnail(path, "file:///b.md", 17));
  EXPECT_FALSE(isFreshThumbnail(directory + "/none.png", "file:///a.md", 17));

  // Keys that are missing or not whole seconds never match.
  ASSERT_EQ(writeThumbnailFile(directory, "t.png",
                               pngWithText({{"Thumb::URI", "file:///a.md"}}, idatChunk())),
            0);
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 0));
  ASSERT_EQ(
      writeThumbnailFile(
          directory, "t.png",
          pngWithText({{"Thumb::URI", "file:///a.md"}, {"Thumb::MTime", "17.5"}}, idatChunk())),
      0);
  EXPECT_FALSE(isFreshThumbnail(path, "file:///a.md", 17));

  // A URI longer than the first read is still found.
  const std::string longUri = "file:///" + std::string(3 * pngTextFirstRead, 'n');
  ASSERT_EQ(writeThumbnailFile(
                directory, "t.png",
                pngWithText({{"Thumb::URI", longUri}, {"Thumb::MTime", "9"}}, idatChunk())),
            0);
  EXPECT_TRUE(isFreshThumbnail(path, longUri, 9));
}

}  // namespace
}  // namespace tamsel
