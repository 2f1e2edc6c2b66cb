// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace tamsel {

// A rectangle in points. Canvas coordinates are y-up: (x, y) is the lower
// left corner, as in the page layout's graphics context.
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The box `width` x `height` whose top edge lies `top` points below the top
// of `page` and whose left edge lies `left` points right of its left edge,
// in the page's y-up coordinates.
constexpr Rect boxFromTop(const Rect& page, double left, double top, double width, double height) {
  return {.x = page.x + left,
          .y = page.y + page.height - top - height,
          .width = width,
          .height = height};
}

// An sRGB colour, each component in 0..1.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  bool operator==(const Color&) const = default;
};

// A colour from 8-bit sRGB components (n / 255 each), alpha 1.
constexpr Color rgb8(int red, int green, int blue) {
  return {.red = red / 255.0, .green = green / 255.0, .blue = blue / 255.0, .alpha = 1.0};
}

// The typeface families the page uses. Each backend maps them to real faces:
// `sans` is the system font, `serif` its serif design, `mono` the code face.
enum class FontFamily { sans, serif, mono };

// A font as a plain value: family, size in points, CSS-style weight
// (400 regular, 600 semibold). Backends pick the nearest face they have.
struct Font {
  FontFamily family = FontFamily::sans;
  double size = 0;
  int weight = 400;

  bool operator==(const Font&) const = default;
};

constexpr int regularWeight = 400;
constexpr int semiboldWeight = 600;

// Recolours `length` bytes of a styled text from byte `start` (UTF-8 byte
// offsets into StyledText::text, on character boundaries).
struct ColorRun {
  std::size_t start = 0;
  std::size_t length = 0;
  Color color;

  bool operator==(const ColorRun&) const = default;
};

// UTF-8 text in one font and paragraph style, word-wrapped, with a base
// colour and optional recoloured ranges. A run later in `runs` replaces the
// colour of earlier runs where they overlap; runs reaching past the text are
// cut at its end. Invalid UTF-8 is shown as U+FFFD.
struct StyledText {
  std::string text;
  Font font;
  Color color;
  double lineHeightMultiple = 1;  // factor on the font's own line height
  double kern = 0;                // points added after every character
  std::vector<ColorRun> runs;

  bool operator==(const StyledText&) const = default;
};

// The colour runs of `styled` resolved into non-overlapping runs in byte
// order, later runs winning; bytes in no run keep the base colour and are
// not listed. Runs are cut to the text; empty runs are dropped.
std::vector<ColorRun> flattenRuns(const StyledText& styled);

// For textHeight: measure the whole text.
constexpr double noHeightLimit = std::numeric_limits<double>::infinity();

// One colour of a gradient at `location` in 0..1 along it.
struct GradientStop {
  double location = 0;
  Color color;
};

// The drawing and text services the page needs, in y-up points.
//
// Rounded-rectangle radii are clamped to half the shorter side. Strokes are
// centred on the outline. Painting keeps to the geometry given: text never
// shows outside its box and a gradient never outside its rounded rectangle.
class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void fillRect(const Rect& rect, const Color& color) = 0;
  virtual void strokeRect(const Rect& rect, const Color& color, double lineWidth) = 0;
  virtual void fillRoundedRect(const Rect& rect, double radius, const Color& color) = 0;
  virtual void strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                                 double lineWidth) = 0;

  // A linear gradient from the rectangle's left edge (location 0) to its
  // right edge (location 1), interpolated in sRGB, clipped to the rounded
  // rectangle. Stops are taken in order.
  virtual void fillGradient(const Rect& rect, double radius,
                            std::span<const GradientStop> stops) = 0;

  // The height in points of `text` laid out at `width`, unrounded: its lines
  // wrapped between words (inside a word only when the word alone is wider
  // than `width`), each the font's line height times the multiple. Empty
  // text measures 0. When the text is taller than `heightLimit`, the result
  // is only known to exceed `heightLimit`: the layout may stop there, which
  // spares laying out text that will be cut anyway.
  virtual double textHeight(const StyledText& text, double width, double heightLimit) = 0;

  // Lays `text` out at the box's width from the box's top edge exactly as
  // textHeight measures it, and draws the lines that fit in the box's
  // height; at least the first line is laid out, and nothing shows outside
  // the box. With `truncate`, the last line drawn ends in an ellipsis when
  // text was cut off.
  virtual void drawText(const StyledText& text, const Rect& box, bool truncate) = 0;
};

}  // namespace tamsel
