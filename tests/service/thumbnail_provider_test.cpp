#include "service/thumbnail_provider.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/file_url.h"
#include "render/recording_canvas.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;

struct Answer {
  int calls = 0;
  ThumbnailReply reply;
  std::error_code error;
};

Answer ask(const std::string& url, Size maximum, Size minimum = {}) {
  Answer answer;
  ThumbnailProvider().provideThumbnail(
      {.fileURL = url, .maximumSize = maximum, .minimumSize = minimum},
      [&](ThumbnailReply reply, std::error_code error) {
        ++answer.calls;
        answer.reply = std::move(reply);
        answer.error = error;
      });
  return answer;
}

std::vector<std::string> paint(const DrawingBlock& block) {
  RecordingCanvas canvas;
  EXPECT_TRUE(block(canvas));
  return canvas.calls();
}

class ThumbnailProviderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tamsel-provider-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string urlOf(const std::string& name, const std::string& bytes) {
    const auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return *fileURLFromPath(path);
  }

  fs::path dir_;
};

TEST_F(ThumbnailProviderTest, AnswersOnceWithTheSizeAndABlockThatPaintsThePage) {
  const auto answer = ask(urlOf("notes.md", "# Notes\n\nSome text.\n"), {512, 512});
  EXPECT_EQ(answer.calls, 1);
  EXPECT_FALSE(answer.error);
  EXPECT_DOUBLE_EQ(answer.reply.contextSize.width, 395.776);
  EXPECT_DOUBLE_EQ(answer.reply.contextSize.height, 512);

  const auto calls = paint(answer.reply.drawingBlock);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().rfind("fillRect 0 0 395.776 512 ", 0), 0u) << calls.front();
  // Every run paints the same page, also from a copy outliving the request.
  const DrawingBlock copy = answer.reply.drawingBlock;
  EXPECT_EQ(paint(copy), calls);
}

TEST_F(ThumbnailProviderTest, SkimsUnderTheFileNameWithItsExtension) {
  // The skim drops only the last extension for the title, so "archive.tar"
  // shows that "archive.tar.md" reached it whole.
  const auto calls = paint(ask(urlOf("archive.tar.md", ""), {256, 256}).reply.drawingBlock);
  EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const std::string& call) {
    return call.find("\"archive.tar\"") != std::string::npos;
  }));
}

TEST_F(ThumbnailProviderTest, UnreadableDocumentsStillGetAnEmptyPage) {
  const auto empty = paint(ask(urlOf("gone.md", ""), {256, 256}).reply.drawingBlock);
  fs::remove(dir_ / "gone.md");
  fs::create_directory(dir_ / "folder.md");
  const std::string urls[] = {
      *fileURLFromPath((dir_ / "gone.md").string()),
      "file://elsewhere" + (dir_ / "gone.md").string(),
  };
  for (const auto& url : urls) {
    const auto answer = ask(url, {256, 256});
    EXPECT_EQ(answer.calls, 1);
    EXPECT_FALSE(answer.error);
    EXPECT_EQ(paint(answer.reply.drawingBlock), empty) << url;
  }
  EXPECT_EQ(ask(*fileURLFromPath((dir_ / "folder.md").string()), {0, 0}).calls, 1);
}

TEST_F(ThumbnailProviderTest, ZeroSizeIsStillAnswered) {
  const auto answer = ask(urlOf("z.md", "x"), {0, 0});
  EXPECT_EQ(answer.calls, 1);
  EXPECT_EQ(answer.reply.contextSize.width, 0);
  EXPECT_EQ(answer.reply.contextSize.height, 0);
  RecordingCanvas canvas;
  EXPECT_TRUE(answer.reply.drawingBlock(canvas));
}

}  // namespace
}  // namespace tamsel
