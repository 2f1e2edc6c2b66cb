// SPDX-License-Identifier: MIT
// The drawer program as hosts reach it, through the client: documents one
// after another from one process, and a new drawer after one fails.
#include "drawer/drawer_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/sanitizers.h"
#include "platform/unique_fd.h"
#include "support/recording_png.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

class DrawerClientTest : public ::testing::Test {
 protected:
  UniqueFd open(const std::string& name, const std::string& body) {
    return UniqueFd(::open(dir.write(name, body).c_str(), O_RDONLY | O_CLOEXEC));
  }

  static DrawRequest page(DrawnFormat format, double side) {
    return {.format = format,
            .fileName = "notes.md",
            .pages = {{.maximum = {side, side}, .minimum = {}}},
            .pngText = {}};
  }

  testing::ScratchDirectory dir;
  DrawerClient drawer = DrawerClient::program(TAMSEL_DRAWER_PROGRAM);
};

TEST_F(DrawerClientTest, AnswersEveryKindOfRequestFromOneDrawer) {
  const UniqueFd notes = open("notes.md", "# Notes\n\nSome *text*.\n\n```\nx = 1\n```\n");
  DrawRequest twoSizes = page(DrawnFormat::png, 256);
  twoSizes.pages.push_back({.maximum = {128, 128}, .minimum = {}});
  twoSizes.pngText = {{"Thumb::URI", "file:///notes.md"}};
  const DrawReply pngs = drawer.draw(notes.get(), twoSizes);
  ASSERT_EQ(pngs.failure, DrawFailure::none) << pngs.message;
  ASSERT_EQ(pngs.images.size(), 2u);
  EXPECT_EQ(pngs.images[1].width * 1000 + pngs.images[1].height, 99'128u);
  EXPECT_NE(pngs.images[0].bytes.find("Thumb::URI"), std::string::npos);

  // What an in-process host paints is the PNG's page, pixel for pixel.
  const DrawReply pixels = drawer.draw(notes.get(), page(DrawnFormat::pixels, 256));
  ASSERT_EQ(pixels.failure, DrawFailure::none) << pixels.message;
  const auto decoded = testing::decodePng(pngs.images[0].bytes);
  ASSERT_TRUE(decoded);
  const DrawnImage& image = pixels.images[0];
  ASSERT_EQ(image.bytes.size(), std::size_t{198} * 256 * 4);
  std::size_t differing = 0;
  for (std::size_t i = 0; i < decoded->pixels.size(); ++i) {
    std::uint32_t argb = 0;
    std::memcpy(&argb, image.bytes.data() + i * 4, 4);
    differing += argb != (decoded->pixels[i] | 0xFF00'0000u);
  }
  EXPECT_EQ(differing, 0u);

  const DrawReply skim = drawer.draw(
      notes.get(),
      {.format = DrawnFormat::skimJson, .fileName = "notes.md", .pages = {}, .pngText = {}});
  ASSERT_EQ(skim.images.size(), 1u);
  EXPECT_TRUE(skim.images[0].bytes.starts_with(R"({"title": "Notes", "blocks": [)"));

  const UniqueFd folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const DrawReply unreadable = drawer.draw(folder.get(), page(DrawnFormat::png, 256));
  EXPECT_EQ(unreadable.failure, DrawFailure::read);
  EXPECT_EQ(unreadable.error, EISDIR);
}

TEST_F(DrawerClientTest, APlantedCrashOrHangFailsOneDocumentAndTheNextIsDrawn) {
  if (sanitized) GTEST_SKIP() << "a preloaded library cannot come before the sanitizer runtime";
  // Loaded from outside the product, it acts when a marked document's bytes
  // are read: inside the drawer.
  ::setenv("LD_PRELOAD", TAMSEL_ESCAPE_PROBE, 1);
  const UniqueFd marked = open("marked.md", "<!-- tamsel-probe -->\n# Marked\n");
  const UniqueFd plain = open("plain.md", "# Plain\n");
  const struct {
    const char* attempt;
    const char* message;
  } faults[] = {{"crash", "the drawer was stopped by signal 11 (Segmentation fault)"},
                {"hang", "the drawer took longer than 0.3 s"}};
  for (const auto& fault : faults) {
    // A drawer takes its environment when it starts.
    ::setenv("TAMSEL_PROBE_ATTEMPT", fault.attempt, 1);
    drawer = DrawerClient::program(TAMSEL_DRAWER_PROGRAM);
    const DrawReply failed =
        drawer.draw(marked.get(), page(DrawnFormat::png, 128), std::chrono::milliseconds(300));
    EXPECT_EQ(failed.failure, DrawFailure::drawer);
    EXPECT_EQ(failed.message, fault.message);
    const DrawReply next = drawer.draw(plain.get(), page(DrawnFormat::png, 128));
    EXPECT_EQ(next.failure, DrawFailure::none) << next.message;
  }
  ::unsetenv("TAMSEL_PROBE_ATTEMPT");
  ::unsetenv("LD_PRELOAD");
}

TEST_F(DrawerClientTest, ADrawerThatCannotStartFailsWithWhy) {
  DrawerClient missing = DrawerClient::program(dir / "no-such-drawer");
  const UniqueFd plain = open("plain.md", "# Plain\n");
  EXPECT_EQ(missing.draw(plain.get(), page(DrawnFormat::png, 128)).message,
            "cannot start the drawer " + (dir / "no-such-drawer") + ": No such file or directory");
}

}  // namespace
}  // namespace tamsel
