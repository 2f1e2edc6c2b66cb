#include "render/image.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

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
  const auto png = renderImage(4, 4, paintNothing, ImageFormat::png,
                               {{.key = "Thumb::URI", .value = "file:///tmp/a%20b.md"},
                                {.key = "Thumb::MTime", .value = "1700000000"}});
  ASSERT_TRUE(png);
  EXPECT_NE(png->find(std::string("tEXtThumb::URI\0file:///tmp/a%20b.md", 34)), std::string::npos);
  EXPECT_NE(png->find(std::string("tEXtThumb::MTime\0", 17)), std::string::npos);

  for (const PngText& bad :
       {PngText{.key = "", .value = "v"}, PngText{.key = " lead", .value = "v"},
        PngText{.key = "a  b", .value = "v"}, PngText{.key = std::string(80, 'k'), .value = "v"},
        PngText{.key = "k", .value = std::string("a\0b", 3)}}) {
    SCOPED_TRACE(bad.key);
    EXPECT_FALSE(renderImage(4, 4, paintNothing, ImageFormat::png, {bad}).has_value());
  }
}

TEST(RenderImage, WritesVectorFormats) {
  const auto paint = [](Canvas& canvas) {
    canvas.fillRect({.x = 0, .y = 0, .width = 10, .height = 10}, rgb8(10, 20, 30));
  };
  const auto svg = renderImage(10.5, 20, paint, ImageFormat::svg);
  ASSERT_TRUE(svg);
  EXPECT_NE(svg->find("<svg"), std::string::npos);
  EXPECT_NE(svg->find("width=\"11"), std::string::npos);
  const auto pdf = renderImage(10, 20, paint, ImageFormat::pdf);
  ASSERT_TRUE(pdf);
  EXPECT_EQ(pdf->rfind("%PDF", 0), 0u);
}

}  // namespace
}  // namespace tamsel
