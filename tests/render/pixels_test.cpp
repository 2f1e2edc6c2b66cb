// SPDX-License-Identifier: MIT
// The Cairo backend, checked on what does not depend on fonts: the page
// size, paper, border, accent bar ends, placeholder rows, ink in the title,
// and how measured heights relate.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "render/cairo_canvas.h"
#include "render/draw_skim.h"
#include "render/image.h"
#include "render/text_style.h"
#include "support/recording_png.h"

namespace tamsel {
namespace {

using testing::DecodedPng;
using testing::Rgb;

constexpr double width = 256;
constexpr double height = 331;
constexpr int colorTolerance = 3;  // antialiasing and 8-bit rounding

DecodedPng renderPage(const MarkdownSkim& skim, double w = width, double h = height) {
  const auto png = renderImage(w, h, [&](Canvas& canvas) {
    drawSkim(skim, {.x = 0, .y = 0, .width = w, .height = h}, canvas);
  });
  EXPECT_TRUE(png.has_value());
  auto decoded = testing::decodePng(png.value_or(""));
  EXPECT_TRUE(decoded.has_value());
  return decoded.value_or(DecodedPng{});
}

Rgb expected(const Color& color) {
  return {static_cast<int>(std::lround(color.red * 255)),
          static_cast<int>(std::lround(color.green * 255)),
          static_cast<int>(std::lround(color.blue * 255))};
}

::testing::AssertionResult near(const Rgb& actual, const Rgb& wanted) {
  if (std::abs(actual.red - wanted.red) <= colorTolerance &&
      std::abs(actual.green - wanted.green) <= colorTolerance &&
      std::abs(actual.blue - wanted.blue) <= colorTolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "got (" << actual.red << ", " << actual.green << ", " << actual.blue << "), wanted ("
         << wanted.red << ", " << wanted.green << ", " << wanted.blue << ")";
}

// The bar's colour over paper at `t` of the way along it.
Rgb barColor(double t) {
  const auto palette = accentPalette();
  const double scaled = std::clamp(t, 0.0, 1.0) * 4;
  const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(scaled), 3);
  const double f = scaled - i;
  auto mix = [&](double a, double b, double paper) {
    const double c = a + (b - a) * f;
    return static_cast<int>(std::lround((0.85 * c + 0.15 * paper) * 255));
  };
  return {mix(palette[i].red, palette[i + 1].red, paperColor.red),
          mix(palette[i].green, palette[i + 1].green, paperColor.green),
          mix(palette[i].blue, palette[i + 1].blue, paperColor.blue)};
}

// The first and last rows with anything but paper; -1, -1 for none.
std::pair<int, int> inkRows(const DecodedPng& page) {
  int first = -1, last = -1;
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      if (near(page.at(x, y), expected(paperColor))) continue;
      if (first < 0) first = y;
      last = y;
      break;
    }
  }
  return {first, last};
}

// Which lines fit is layout, checked on the recording; here, that the Cairo
// canvas paints where the layout put things. With an empty title the bar
// spans x 21.76 to 88.32 and rows 27.648 to 29.648, and the first placeholder
// row lies from 43.728, 7.168 high, from x 21.76 to 217.24.
TEST(CairoPage, PaintsBorderPaperBarAndPlaceholders) {
  const DecodedPng page = renderPage({.title = "", .blocks = {}});
  ASSERT_EQ(page.width, 256);
  ASSERT_EQ(page.height, 331);
  const struct {
    int x, y;
    Rgb color;
  } points[] = {
      {0, 160, expected(ruleColor)},         {255, 160, expected(ruleColor)},
      {128, 0, expected(ruleColor)},         {128, 330, expected(ruleColor)},
      {0, 0, expected(ruleColor)},           {1, 160, expected(paperColor)},
      {254, 160, expected(paperColor)},      {128, 1, expected(paperColor)},
      {128, 329, expected(paperColor)},      {128, 300, expected(paperColor)},
      {95, 28, expected(paperColor)},        {50, 25, expected(paperColor)},
      {211, 47, expected(placeholderColor)}, {219, 47, expected(paperColor)},
      {40, 54, expected(paperColor)},        {40, 42, expected(paperColor)},
  };
  for (const auto& [x, y, color] : points) {
    EXPECT_TRUE(near(page.at(x, y), color)) << x << ", " << y;
  }
  for (const int x : {23, 45, 60, 86}) {
    EXPECT_TRUE(near(page.at(x, 28), barColor((x + 0.5 - 21.76) / 66.56))) << "bar at x " << x;
  }
}

TEST(CairoPage, DrawsCodeBoxesAndTextOnlyInsideThePage) {
  std::string longWord(400, 'w');
  MarkdownSkim skim{.title = longWord,
                    .blocks = {MarkdownSkim::Block::mono({"if " + longWord, "'" + longWord}),
                               MarkdownSkim::Block::body(longWord + " " + longWord)}};
  const DecodedPng page = renderPage(skim);
  // Right of the content (x > 234.24) only paper and the border remain.
  for (int y = 1; y < page.height - 1; ++y) {
    for (int x = 236; x < page.width - 1; ++x) {
      ASSERT_TRUE(near(page.at(x, y), expected(paperColor))) << x << ", " << y;
    }
  }
}

// Whatever fonts the system has for emoji and other scripts (bitmap colour
// strikes, boxes where it has none), their glyphs keep to the size of the text
// around them.
TEST(CairoCanvas, KeepsEveryGlyphNearItsLine) {
  constexpr std::string_view mixed =
      "\u2728 Notes \U0001F4DD \u6F22\u5B57 \u0639\u0631\u0628\u064A \U0001F680";
  constexpr double top = 100;
  for (const TextStyle& style :
       {titleStyle(width), headingStyle(width), bodyStyle(width), monoStyle(width)}) {
    SCOPED_TRACE(::testing::Message() << "size " << style.font.size);
    double line = 0;
    const auto png = renderImage(width, height, [&](Canvas& canvas) {
      canvas.fillRect({0, 0, width, height}, paperColor);
      line = measureText(canvas, "Notes", style, width);
      drawTextBox(canvas, {0, 0, width, height}, mixed, style,
                  {.left = 0, .top = top, .width = width, .maxHeight = line});
    });
    const auto page = testing::decodePng(png.value_or(""));
    ASSERT_TRUE(page.has_value());
    const auto [first, last] = inkRows(*page);
    ASSERT_GE(first, 0) << "no ink";
    EXPECT_LE(last - first + 1, 2 * line);
    EXPECT_GE(first, top - line / 2);
  }
}

// Near the page's foot a box can come out a hair lower than its first line:
// that line is still shown, clipped, not dropped.
TEST(CairoCanvas, ShowsTheFirstLineOfABoxLowerThanIt) {
  const TextStyle style = bodyStyle(width);
  const auto png = renderImage(width, 100, [&](Canvas& canvas) {
    canvas.fillRect({0, 0, width, 100}, paperColor);
    const double line = measureText(canvas, "Ink", style, width);
    drawTextBox(canvas, {0, 0, width, 100}, "Ink and more words", style,
                {.left = 0, .top = 10, .width = width, .maxHeight = 0.9 * line});
  });
  const auto page = testing::decodePng(png.value_or(""));
  ASSERT_TRUE(page.has_value());
  EXPECT_GE(inkRows(*page).first, 10);
}

// A word too long for its line breaks where it must with nothing added: as if
// it had a zero-width space after every letter. (Body text: the title's
// letter spacing would space the zero-width ones too.)
TEST(CairoCanvas, BreaksAnOverlongWordWithoutAHyphen) {
  const std::string word(40, 'M');
  std::string spaced;
  for (const char c : word) spaced += std::string(1, c) + "\u200B";
  const TextStyle style = bodyStyle(width);
  double lines = 0;
  const auto page = [&](const std::string& text) {
    return renderImage(100, 200, [&](Canvas& canvas) {
      lines = measureText(canvas, text, style, 100) / measureText(canvas, "M", style, 100);
      drawTextBox(canvas, {0, 0, 100, 200}, text, style,
                  {.left = 0, .top = 0, .width = 100, .maxHeight = 200});
    });
  };
  const auto spacedPage = page(spaced);
  EXPECT_GE(lines, 2);
  EXPECT_TRUE(page(word) == spacedPage);
}

TEST(CairoCanvas, MeasuresWholeTextsAndCutOnesAboveTheirLimit) {
  detail::CairoSurfaceHandle surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 8));
  detail::CairoHandle cairo(cairo_create(surface.get()));
  CairoCanvas canvas(cairo.get(), 8);
  StyledText text{.text = "",
                  .font = bodyStyle(250).font,
                  .color = inkColor,
                  .lineHeightMultiple = 1.32,
                  .kern = 0,
                  .runs = {}};
  EXPECT_EQ(canvas.textHeight(text, 100, noHeightLimit), 0);

  text.text = "Short";
  const double shortHeight = canvas.textHeight(text, 100, noHeightLimit);
  EXPECT_GT(shortHeight, 0);
  EXPECT_EQ(canvas.textHeight(text, 100, shortHeight + 1), shortHeight);

  for (int i = 0; i < 100; ++i) text.text += " words";
  EXPECT_GT(canvas.textHeight(text, 100, 3 * shortHeight), 3 * shortHeight);
  EXPECT_GT(canvas.textHeight(text, 100, noHeightLimit), 10 * shortHeight);
}

}  // namespace
}  // namespace tamsel
