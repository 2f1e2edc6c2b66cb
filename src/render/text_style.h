// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "render/canvas.h"

namespace tamsel {

// How one kind of text on the page looks. Lines always wrap between words.
struct TextStyle {
  Font font;
  Color color;
  double lineHeightMultiple = 1;
  std::optional<double> kern;  // points between characters; only the title has one
};

// The page colours.
constexpr Color paperColor = rgb8(247, 243, 234);        // page background
constexpr Color ruleColor = rgb8(217, 211, 198);         // page border, code box outline
constexpr Color inkColor = rgb8(21, 20, 14);             // title, body and bullet text
constexpr Color headingInkColor = rgb8(46, 43, 32);      // heading text
constexpr Color codeBoxColor = rgb8(248, 245, 238);      // code box fill
constexpr Color placeholderColor = rgb8(228, 222, 210);  // placeholder lines

// The five stops of the title bar's gradient, left end first, alpha 1.
std::array<Color, 5> accentPalette();

// The styles of a page `unit` points wide (the page width). Sizes are
// fractions of the unit; `unit` is taken as it comes.
TextStyle titleStyle(double unit);    // serif semibold 0.105 x unit, kern -0.01 x size
TextStyle headingStyle(double unit);  // sans semibold 0.046 x unit
TextStyle bodyStyle(double unit);     // sans regular 0.04 x unit
TextStyle bulletStyle(double unit);   // as body
TextStyle monoStyle(double unit);     // mono regular 0.034 x unit, multiple 1.0; measuring only

// Put in front of a bullet's text and measured and drawn with it: en dash, space.
constexpr std::string_view bulletPrefix = "\u2013 ";

// The height of `text` (UTF-8) in `style` wrapped at `width` points, raised
// to the next whole point. Empty text measures 0. A text taller than
// `heightLimit` measures some height above the limit, not necessarily its
// own (see Canvas::textHeight).
double measureText(Canvas& canvas, std::string_view text, const TextStyle& style, double width,
                   double heightLimit = noHeightLimit);

// Where drawTextBox puts its text, in points from the page's left and top
// edges.
struct TextBox {
  double left = 0;
  double top = 0;
  double width = 0;
  double maxHeight = 0;
};

// Draws `text` in `style` from the top of `box` on `page` and returns the
// drawn height d = min(box.maxHeight, measured height), or 0 with nothing
// drawn when d is not positive. The last visible line ends in an ellipsis
// exactly when box.maxHeight is less than the measured height; nothing is
// drawn outside the box.
double drawTextBox(Canvas& canvas, const Rect& page, std::string_view text, const TextStyle& style,
                   const TextBox& box);

}  // namespace tamsel
