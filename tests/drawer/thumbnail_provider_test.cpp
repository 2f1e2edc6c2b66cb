// SPDX-License-Identifier: MIT
#include "drawer/thumbnail_provider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "support/recording_canvas.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

struct Answer {
  int calls = 0;
  ThumbnailReply reply;
  std::error_code error;
};

Answer ask(const std::string& url, Size maximum) {
  Answer answer;
  ThumbnailProvider().provideThumbnail({.fileURL = url, .maximumSize = maximum, .minimumSize = {}},
                                       [&](ThumbnailReply reply, std::error_code error) {
                                         ++answer.calls;
                                         answer.reply = std::move(reply);
                                         answer.error = error;
                                       });
  EXPECT_EQ(answer.calls, 1) << url;
  return answer;
}

std::vector<std::string> paint(const DrawingBlock& block) {
  RecordingCanvas canvas;
  EXPECT_TRUE(block(canvas));
  return canvas.calls();
}

TEST(ThumbnailProviderTest, AnswersWithTheSizeAndABlockThatPaintsThePage) {
  const testing::ScratchDirectory dir;
  const auto answer = ask(*fileURLFromPath(dir.write("n.md", "# Notes\n\nText.\n")), {512, 512});
  EXPECT_DOUBLE_EQ(answer.reply.contextSize.width, 395.776);
  EXPECT_DOUBLE_EQ(answer.reply.contextSize.height, 512);
  const auto calls = paint(answer.reply.drawingBlock);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().rfind("fillRect 0 0 395.776 512 ", 0), 0u) << calls.front();
  // Every run paints the same page, also from a copy outliving the request.
  const DrawingBlock copy = answer.reply.drawingBlock;
  EXPECT_EQ(paint(copy), calls);
  // A zero size is answered too, with a block that still runs.
  paint(ask(*fileURLFromPath(dir / "n.md"), {0, 0}).reply.drawingBlock);
}

TEST(ThumbnailProviderTest, SkimsUnderTheFileNameWithItsExtension) {
  // The skim drops only the last extension for the title, so "archive.tar"
  // shows that "archive.tar.md" reached it whole.
  const testing::ScratchDirectory dir;
  const auto calls =
      paint(ask(*fileURLFromPath(dir.write("archive.tar.md", "")), {256, 256}).reply.drawingBlock);
  EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const std::string& call) {
    return call.find("\"archive.tar\"") != std::string::npos;
  }));
}

TEST(ThumbnailProviderTest, DocumentsThatCannotBeReadAreErrorsAndAnEmptyFileIsNot) {
  const testing::ScratchDirectory dir;
  EXPECT_FALSE(ask(*fileURLFromPath(dir.write("empty.md", "")), {256, 256}).error);
  const std::pair<std::string, std::error_code> cases[] = {
      {*fileURLFromPath(dir / "gone.md"), std::error_code(ENOENT, std::generic_category())},
      {*fileURLFromPath(dir.path()), std::error_code(EISDIR, std::generic_category())},
      {"file://elsewhere" + dir / "empty.md", DocumentError::notLocal},
  };
  for (const auto& [url, error] : cases) {
    const Answer answer = ask(url, {256, 256});
    EXPECT_EQ(answer.error, error) << url;
    EXPECT_FALSE(answer.reply.drawingBlock) << url;
  }
}

}  // namespace
}  // namespace tamsel
