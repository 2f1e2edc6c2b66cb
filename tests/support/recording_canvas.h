// SPDX-License-Identifier: MIT
#pragma once

#include <span>
#include <string>
#include <vector>

#include "render/canvas.h"

namespace tamsel {

// A Canvas that paints nothing and writes each call as one line of text,
// with fixed, fake text metrics, so layout can be checked to the last point.
//
// Lines, numbers rounded to 4 decimals, colours as #RRGGBB (#RRGGBBAA when
// alpha < 1), rectangles as x y width height in the canvas's y-up points:
//   fillRect X Y W H #COLOR
//   strokeRect X Y W H #COLOR LINEWIDTH
//   fillRoundedRect X Y W H RADIUS #COLOR
//   strokeRoundedRect X Y W H RADIUS #COLOR LINEWIDTH
//   fillGradient X Y W H RADIUS #COLOR@LOCATION ...
//   drawText X Y W H FAMILY WEIGHT SIZE lh=MULTIPLE [kern=K] #COLOR lines=N [truncate] "TEXT"
//       [START+LENGTH#COLOR ...]
// where N is the number of lines that fit the box (at least 1).
//
// Fake metrics: every character (code point) is 0.5 x size + kern wide; a line is
// size x multiple high; lines break at line feeds and wrap greedily at
// spaces, a word wider than the line being cut between characters. Text
// measures (lines x line height), 0 when empty, whatever the height limit.
class RecordingCanvas final : public Canvas {
 public:
  void fillRect(const Rect& rect, const Color& color) override;
  void strokeRect(const Rect& rect, const Color& color, double lineWidth) override;
  void fillRoundedRect(const Rect& rect, double radius, const Color& color) override;
  void strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                         double lineWidth) override;
  void fillGradient(const Rect& rect, double radius, std::span<const GradientStop> stops) override;
  double textHeight(const StyledText& text, double width, double heightLimit) override;
  void drawText(const StyledText& text, const Rect& box, bool truncate) override;

  const std::vector<std::string>& calls() const { return calls_; }

  // The number of lines `text` wraps into at `width` under the fake metrics.
  static int lineCount(const StyledText& text, double width);

 private:
  std::vector<std::string> calls_;
};

}  // namespace tamsel
