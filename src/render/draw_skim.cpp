// SPDX-License-Identifier: MIT
#include "render/draw_skim.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "render/highlight.h"
#include "render/text_style.h"

namespace tamsel {
namespace {

constexpr double minBarHeight = 2.0;  // points: a thinner bar would not show
constexpr double accentAlpha = 0.85;
constexpr double hairline = 1.0;  // border and code box outline width

using Kind = MarkdownSkim::Block::Kind;

// The fonts and styles of one page, made once and shared by all its blocks.
struct PageStyles {
  TextStyle title, heading, body, bullet, mono;
};

PageStyles pageStyles(double unit) {
  return {.title = titleStyle(unit),
          .heading = headingStyle(unit),
          .body = bodyStyle(unit),
          .bullet = bulletStyle(unit),
          .mono = monoStyle(unit)};
}

// Where the block loop left the page.
struct BlockLayout {
  double cursor;  // top offset where the next element may begin
  bool drewAny;   // a block passed its room checks
  bool pageFull;  // a text block was cut at the bottom; nothing may follow
};

bool paintable(const Rect& rect) {
  const double corners[] = {rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
  return std::all_of(std::begin(corners), std::end(corners),
                     [](double v) { return std::isfinite(v) && std::abs(v) <= maxPageExtent; }) &&
         rect.width > 0 && rect.height > 0;
}

Rect inset(const Rect& rect, double by) {
  return {.x = rect.x + by,
          .y = rect.y + by,
          .width = rect.width - 2 * by,
          .height = rect.height - 2 * by};
}

// Blank once the White_Space characters (spaces, tabs, line breaks) are
// trimmed from both ends.
bool isBlankUtf8(std::string_view text) {
  for (int32_t i = 0; i < static_cast<int32_t>(text.size());) {
    UChar32 c;
    U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
    if (c < 0 || !u_isUWhiteSpace(c)) return false;
  }
  return true;
}

std::string joinMonoLines(const std::vector<std::string>& lines) {
  std::string joined;
  const std::size_t count = std::min(lines.size(), codeLineLimit);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) joined += '\n';
    joined += lines[i];
  }
  return joined;
}

void drawFrame(const Rect& rect, Canvas& canvas) {
  canvas.fillRect(rect, paperColor);
  canvas.strokeRect(inset(rect, 0.5), ruleColor, hairline);
}

// Returns the title's drawn height.
double drawTitle(const std::string& title, const Rect& rect, const PageMetrics& m,
                 const TextStyle& style, Canvas& canvas) {
  if (m.titleMaxHeight <= 0) return 0;
  return drawTextBox(canvas, rect, title, style,
                     {.left = m.sideMargin,
                      .top = m.topMargin,
                      .width = m.contentWidth,
                      .maxHeight = m.titleMaxHeight});
}

// Returns the cursor below the bar, which moves there even when the bar
// itself does not fit.
double drawAccentBar(const Rect& rect, const PageMetrics& m, double titleHeight, Canvas& canvas) {
  const double barTop = m.titleBarGap + (m.topMargin + titleHeight);
  const double barBottom = barTop + m.barHeight;
  if (barBottom <= m.bottomLimit) {
    const auto palette = accentPalette();
    std::array<GradientStop, palette.size()> stops;
    for (std::size_t i = 0; i < stops.size(); ++i) {
      stops[i] = {.location = accentStops[i], .color = palette[i]};
      stops[i].color.alpha = accentAlpha;
    }
    canvas.fillGradient(boxFromTop(rect, m.sideMargin, barTop, m.barWidth, m.barHeight),
                        m.barHeight * 0.5, stops);
  }
  return barBottom + m.spaceAfterBar;
}

// Draws one mono block; false when its box does not fit and the loop ends.
bool drawMonoBlock(const std::string& code, const Rect& rect, const PageMetrics& m,
                   const PageStyles& styles, BlockLayout& layout, Canvas& canvas) {
  const double boxTop = layout.cursor + (layout.drewAny ? m.blockGap : 0);
  const double room = m.bottomLimit - boxTop;
  const double textWidth = m.contentWidth - 2 * m.codeMargin;
  // Measured as coloured: it has the mono style's font and paragraph
  // settings, so it measures as measureText in that style does, and the
  // canvas lays it out once for measuring and drawing.
  const StyledText coloured = highlightCode(code, styles.mono.font);
  const double textHeight = std::ceil(canvas.textHeight(coloured, textWidth, noHeightLimit));
  const double boxHeight = textHeight + 2 * m.codeMargin;
  if (room < boxHeight) return false;

  const Rect box = inset(boxFromTop(rect, m.sideMargin, boxTop, m.contentWidth, boxHeight), 0.5);
  canvas.fillRoundedRect(box, m.codeCornerRadius, codeBoxColor);
  canvas.strokeRoundedRect(box, m.codeCornerRadius, ruleColor, hairline);
  canvas.drawText(
      coloured,
      boxFromTop(rect, m.sideMargin + m.codeMargin, boxTop + m.codeMargin, textWidth, textHeight),
      false);
  layout.cursor = boxTop + boxHeight;
  layout.drewAny = true;
  return true;
}

// Draws one heading, body or bullet block; false when the loop ends, either
// for want of room for one line or because the block was cut.
bool drawTextBlock(const MarkdownSkim::Block& block, const Rect& rect, const PageMetrics& m,
                   const PageStyles& styles, BlockLayout& layout, Canvas& canvas) {
  const Kind kind = block.kind();
  const double spaceBefore =
      (layout.drewAny ? m.blockGap : 0) + (kind == Kind::heading ? m.headingExtraSpace : 0);
  const TextStyle& style = kind == Kind::heading  ? styles.heading
                           : kind == Kind::bullet ? styles.bullet
                                                  : styles.body;
  const std::string text =
      kind == Kind::bullet ? std::string(bulletPrefix) + block.text() : block.text();
  const double indent = kind == Kind::bullet ? m.bulletIndent : 0;

  const double lineTop = layout.cursor + spaceBefore;
  const double room = m.bottomLimit - lineTop;
  if (room < style.font.size * style.lineHeightMultiple) return false;

  const double width = m.contentWidth - indent;
  // Beyond the room the exact height does not matter: the block is cut.
  const double fullHeight = measureText(canvas, text, style, width, room);
  const double drawnHeight = std::min(room, fullHeight);
  if (drawnHeight > 0) {
    drawTextBox(
        canvas, rect, text, style,
        {.left = m.sideMargin + indent, .top = lineTop, .width = width, .maxHeight = drawnHeight});
  }
  if (room < fullHeight) {
    layout.pageFull = true;
    return false;
  }
  layout.cursor = lineTop + drawnHeight;
  layout.drewAny = true;
  return true;
}

BlockLayout drawBlocks(const std::vector<MarkdownSkim::Block>& blocks, const Rect& rect,
                       const PageMetrics& m, const PageStyles& styles, double cursor,
                       Canvas& canvas) {
  BlockLayout layout{.cursor = cursor, .drewAny = false, .pageFull = false};
  for (const MarkdownSkim::Block& block : blocks) {
    if (layout.cursor >= m.bottomLimit - 1) break;
    if (block.isMono()) {
      const std::string code = joinMonoLines(block.lines());
      if (isBlankUtf8(code)) continue;
      if (!drawMonoBlock(code, rect, m, styles, layout, canvas)) break;
    } else if (!drawTextBlock(block, rect, m, styles, layout, canvas)) {
      break;
    }
  }
  return layout;
}

void drawPlaceholderLines(const Rect& rect, const PageMetrics& m, double cursor, Canvas& canvas) {
  for (const double fraction : placeholderLineFractions) {
    if (cursor + m.placeholderHeight > m.bottomLimit) return;
    canvas.fillRoundedRect(
        boxFromTop(rect, m.sideMargin, cursor, m.contentWidth * fraction, m.placeholderHeight),
        m.placeholderHeight / 2, placeholderColor);
    cursor += m.placeholderHeight + m.blockGap;
  }
}

}  // namespace

PageMetrics pageMetrics(const Rect& rect) {
  const double w = rect.width;
  const double bottomLimit = rect.height - 0.08 * w;
  const double topMargin = 0.09 * w;
  const double titleSize = 0.105 * w;
  return {.unit = w,
          .sideMargin = 0.085 * w,
          .contentWidth = w - 2 * (0.085 * w),
          .topMargin = topMargin,
          .bottomLimit = bottomLimit,
          .titleSize = titleSize,
          .titleMaxHeight = std::min(bottomLimit - topMargin, 3.4 * titleSize),
          .titleBarGap = 0.018 * w,
          .barHeight = std::max(0.007 * w, minBarHeight),
          .barWidth = 0.26 * w,
          .spaceAfterBar = 0.055 * w,
          .blockGap = 0.03 * w,
          .headingExtraSpace = 0.018 * w,
          .bulletIndent = 0.02 * w,
          .codeMargin = 0.02 * w,
          .codeCornerRadius = 0.015 * w,
          .placeholderHeight = 0.028 * w};
}

void drawSkim(const MarkdownSkim& skim, const Rect& rect, Canvas& canvas) {
  if (!paintable(rect)) return;
  drawFrame(rect, canvas);
  const PageMetrics metrics = pageMetrics(rect);
  const PageStyles styles = pageStyles(metrics.unit);
  const double titleHeight = drawTitle(skim.title, rect, metrics, styles.title, canvas);
  const double cursor = drawAccentBar(rect, metrics, titleHeight, canvas);
  const BlockLayout layout = drawBlocks(skim.blocks, rect, metrics, styles, cursor, canvas);
  if (!layout.drewAny && !layout.pageFull) {
    drawPlaceholderLines(rect, metrics, layout.cursor, canvas);
  }
}

}  // namespace tamsel
