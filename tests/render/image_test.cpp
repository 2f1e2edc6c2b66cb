// SPDX-License-Identifier: MIT
#include "render/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/png_writer.h"
#include "service/cache/thumbnail_file.h"
#include "support/recording_png.h"

namespace tamsel {
namespace {

void paintNothing(Canvas&) {}

TEST(RenderImage, RefusesSidesThatCannotBeAnImage) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (const auto& [w, h] :
       {std::pair{0.0, 10.0}, {10.0, -1.0}, {nan, 10.0}, {10.0, inf}, {maxImageSide + 1, 10.0}}) {
    SCOPED_TRACE(::testing::Message() << w << " x " << h);
    EXPECT_FALSE(renderImage(w, h, paintNothing).has_value());
  }
}

TEST(RenderImage, RoundsSidesUpAndFillsUncoveredPixelsWhite) {
  const auto png = renderImage(197.888, 256, [](Canvas& canvas) {
    canvas.fillRect({.x = 0, .y = 0, .width = 197.888, .height = 256}, rgb8(0, 0, 255));
  });
  ASSERT_TRUE(png);
  const auto page = testing::decodePng(*png);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->width, 198);
  EXPECT_EQ(page->height, 256);
  EXPECT_EQ(page->at(0, 0).blue, 255);
  EXPECT_EQ(page->at(0, 0).red, 0);
  // The last column is 0.888 page: blue over white, not over black.
  EXPECT_NEAR(page->at(197, 10).red, 0.112 * 255, 2);
}

TEST(RenderImage, WritesTextChunksAndRefusesInvalidKeys) {
  const std::vector<PngText> text{{.key = "Thumb::URI", .value = "file:///tmp/a%20b.md"},
                                  {.key = "Thumb::MTime", .value = "1700000000"},
                                  {.key = "Software", .value = ""}};
  const auto png = renderImage(4, 4, paintNothing, ImageFormat::png, text);
  ASSERT_TRUE(png);
  EXPECT_TRUE(testing::decodePng(*png));
  // Read back as the cache reads them; every CRC is checked by the drivers.
  const PngLeadingText read = readPngLeadingText(*png);
  EXPECT_EQ(read.status, PngLeadingText::Status::complete);
  ASSERT_EQ(read.entries.size(), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(read.entries[i], std::pair(text[i].key, text[i].value));
  }

  for (const PngText& bad :
       {PngText{.key = "", .value = "v"}, PngText{.key = " lead", .value = "v"},
        PngText{.key = "a  b", .value = "v"}, PngText{.key = std::string(80, 'k'), .value = "v"},
        PngText{.key = "k\x80", .value = "v"},
        PngText{.key = "k", .value = std::string("a\0b", 3)}}) {
    SCOPED_TRACE(bad.key);
    EXPECT_FALSE(renderImage(4, 4, paintNothing, ImageFormat::png, {bad}).has_value());
  }
}

// Every pixel survives encoding, whatever the row length, padding, top byte
// or compressibility: noise goes into the stream as literals, repeated rows
// as matches reaching back a whole row or more.
TEST(EncodePng, DecodesToThePixelsItWasGiven) {
  struct Shape {
    int width, height, padding;
  };
  for (const auto& [width, height, padding] :
       {Shape{1, 1, 0}, Shape{5, 3, 4}, Shape{198, 9, 0}, Shape{301, 130, 12}}) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    const int stride = 4 * width + padding;
    std::vector<unsigned char> data(static_cast<std::size_t>(stride) * height);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        noise = noise * 1664525 + 1013904223;
        const std::uint32_t word = y % 3 == 2 ? 0xff00c0deu + x : noise;
        std::memcpy(&data[static_cast<std::size_t>(y) * stride + 4 * x], &word, sizeof word);
      }
    }
    const auto png =
        encodePng({.data = data.data(), .width = width, .height = height, .stride = stride});
    ASSERT_TRUE(png);
    const auto decoded = testing::decodePng(*png);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, width);
    ASSERT_EQ(decoded->height, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, &data[static_cast<std::size_t>(y) * stride + 4 * x], sizeof word);
        const testing::Rgb pixel = decoded->at(x, y);
        ASSERT_EQ(pixel.red, static_cast<int>((word >> 16) & 0xff)) << x << ", " << y;
        ASSERT_EQ(pixel.green, static_cast<int>((word >> 8) & 0xff)) << x << ", " << y;
        ASSERT_EQ(pixel.blue, static_cast<int>(word & 0xff)) << x << ", " << y;
      }
    }
  }
}

}  // namespace
}  // namespace tamsel
