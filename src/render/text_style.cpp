// SPDX-License-Identifier: MIT
#include "render/text_style.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace tamsel {
namespace {

constexpr double titleSizeFraction = 0.105;
constexpr double headingSizeFraction = 0.046;
constexpr double bodySizeFraction = 0.04;
constexpr double monoSizeFraction = 0.034;
constexpr double titleKernFraction = -0.01;  // of the title size
constexpr double titleLineHeight = 1.08;
constexpr double textLineHeight = 1.32;

// Measuring is colour-blind; black stands in for the style's colour.
constexpr Color measuringColor{};

StyledText styledText(std::string_view text, const TextStyle& style, const Color& color) {
  return {.text = std::string(text),
          .font = style.font,
          .color = color,
          .lineHeightMultiple = style.lineHeightMultiple,
          .kern = style.kern.value_or(0),
          .runs = {}};
}

}  // namespace

std::array<Color, 5> accentPalette() {
  return {rgb8(255, 93, 115), rgb8(255, 180, 84), rgb8(54, 214, 195), rgb8(106, 166, 255),
          rgb8(176, 123, 255)};
}

TextStyle titleStyle(double unit) {
  const double size = titleSizeFraction * unit;
  return {.font = {.family = FontFamily::serif, .size = size, .weight = semiboldWeight},
          .color = inkColor,
          .lineHeightMultiple = titleLineHeight,
          .kern = titleKernFraction * size};
}

TextStyle headingStyle(double unit) {
  return {.font = {.family = FontFamily::sans,
                   .size = headingSizeFraction * unit,
                   .weight = semiboldWeight},
          .color = headingInkColor,
          .lineHeightMultiple = textLineHeight,
          .kern = std::nullopt};
}

TextStyle bodyStyle(double unit) {
  return {.font = {.family = FontFamily::sans,
                   .size = bodySizeFraction * unit,
                   .weight = regularWeight},
          .color = inkColor,
          .lineHeightMultiple = textLineHeight,
          .kern = std::nullopt};
}

TextStyle bulletStyle(double unit) {
  return bodyStyle(unit);
}

TextStyle monoStyle(double unit) {
  return {.font = {.family = FontFamily::mono,
                   .size = monoSizeFraction * unit,
                   .weight = regularWeight},
          .color = inkColor,
          .lineHeightMultiple = 1.0,
          .kern = std::nullopt};
}

double measureText(Canvas& canvas, std::string_view text, const TextStyle& style, double width,
                   double heightLimit) {
  return std::ceil(canvas.textHeight(styledText(text, style, measuringColor), width, heightLimit));
}

double drawTextBox(Canvas& canvas, const Rect& page, std::string_view text, const TextStyle& style,
                   const TextBox& box) {
  // Only whether the text exceeds the box matters, so the measuring may
  // stop at the box's height.
  const double measured = measureText(canvas, text, style, box.width, box.maxHeight);
  const double drawn = std::min(box.maxHeight, measured);
  // The negated test also turns a NaN height away.
  if (!(drawn > 0)) return 0;
  canvas.drawText(styledText(text, style, style.color),
                  boxFromTop(page, box.left, box.top, box.width, drawn), box.maxHeight < measured);
  return drawn;
}

}  // namespace tamsel
