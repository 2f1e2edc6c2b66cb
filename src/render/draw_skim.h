// SPDX-License-Identifier: MIT
#pragma once

#include <array>

#include "render/canvas.h"
#include "skim/markdown_skim.h"

namespace tamsel {

// The page's lengths in points, every one a fixed fraction of the page width
// W (the `unit`); only `bottomLimit` also depends on the height H. Offsets
// are measured downward from the page's top edge.
struct PageMetrics {
  double unit;               // W
  double sideMargin;         // 0.085 W: left offset of all content
  double contentWidth;       // 0.83 W
  double topMargin;          // 0.09 W: top offset of the title
  double bottomLimit;        // H - 0.08 W: largest top offset content may reach
  double titleSize;          // 0.105 W
  double titleMaxHeight;     // min(bottomLimit - topMargin, 3.4 x titleSize)
  double titleBarGap;        // 0.018 W
  double barHeight;          // max(0.007 W, 2)
  double barWidth;           // 0.26 W
  double spaceAfterBar;      // 0.055 W
  double blockGap;           // 0.03 W: before a block once anything was laid out
  double headingExtraSpace;  // 0.018 W: before every heading
  double bulletIndent;       // 0.02 W
  double codeMargin;         // 0.02 W: code box edge to its text, all sides
  double codeCornerRadius;   // 0.015 W
  double placeholderHeight;  // 0.028 W: one placeholder line
};

PageMetrics pageMetrics(const Rect& rect);

// Gradient locations of the accent bar's five colours.
constexpr std::array<double, 5> accentStops = {0, 0.25, 0.5, 0.75, 1};
// Widths of the placeholder lines, as fractions of the content width.
constexpr std::array<double, 5> placeholderLineFractions = {0.92, 0.88, 0.95, 0.84, 0.6};

// Largest coordinate, in points, of a page drawSkim paints. Text and paths
// stop being exact far earlier; past this nothing would be legible.
constexpr double maxPageExtent = 1'000'000;

// Paints `skim` as a page filling `rect` (y-up points) on `canvas`: paper,
// border, title, accent bar, then blocks from the top down until the page is
// full, or five placeholder lines when no block could be laid out. Takes any
// skim. A rect that is not finite, not positive in both sides, or reaches
// beyond `maxPageExtent` paints nothing.
void drawSkim(const MarkdownSkim& skim, const Rect& rect, Canvas& canvas);

}  // namespace tamsel
