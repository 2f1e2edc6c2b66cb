// Page layout through the recording canvas. Most cases use a page 1000 pt
// wide, where every fraction of the width is a whole or short number:
// margins 85, content width 830, title at 90, bar 7 high and 260 wide, first
// block at bar bottom + 55, gaps of 30, headings 18 lower, code margin 20.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "render/draw_skim.h"
#include "support/line_diff.h"
#include "support/recording_canvas.h"

namespace tamsel {
namespace {

using Block = MarkdownSkim::Block;

// A recorded call taken apart: its name, rectangle (y-up points) and line.
struct Call {
  std::string name;
  double x = 0, y = 0, width = 0, height = 0;
  std::string line;
  // The top edge as an offset below the top of a page `pageHeight` tall.
  double top(double pageHeight) const { return pageHeight - y - height; }
};

// The calls named `name`, in order; all calls when `name` is empty.
std::vector<Call> callsNamed(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<Call> found;
  for (const std::string& line : lines) {
    Call call;
    call.line = line;
    std::istringstream(line) >> call.name >> call.x >> call.y >> call.width >> call.height;
    if (name.empty() || call.name == name) found.push_back(call);
  }
  return found;
}

constexpr double pageWidth = 1000;
constexpr double pageHeight = 1300;  // bottom limit 1220
// Where the first block starts below a one-line title: 90 + 114 + 18 + 7 + 55.
constexpr double firstBlockTop = 284;

std::vector<std::string> record(const MarkdownSkim& skim, const Rect& rect) {
  RecordingCanvas canvas;
  drawSkim(skim, rect, canvas);
  return canvas.calls();
}

std::vector<std::string> record(const MarkdownSkim& skim, double height = pageHeight) {
  return record(skim, {.x = 0, .y = 0, .width = pageWidth, .height = height});
}

MarkdownSkim titled(std::vector<Block> blocks) {
  return {.title = "Notes", .blocks = std::move(blocks)};
}

std::vector<double> tops(const std::vector<Call>& calls, double height) {
  std::vector<double> result;
  for (const auto& call : calls) result.push_back(call.top(height));
  return result;
}

// The rest of the metrics show in every recording of a 1000 pt page.
TEST(PageMetrics, KeepTheBarAtLeastTwoPointsHigh) {
  EXPECT_DOUBLE_EQ(pageMetrics({.x = 0, .y = 0, .width = 285, .height = 369}).barHeight, 2);
  EXPECT_DOUBLE_EQ(pageMetrics({.x = 0, .y = 0, .width = 300, .height = 388}).barHeight, 2.1);
}

TEST(DrawSkim, PaintsFrameTitleBarAndEveryKindOfBlock) {
  const auto calls = record(titled({Block::heading("Plan"), Block::body("Ship it."),
                                    Block::bullet("apples"), Block::mono({"let x = 1"})}));
  EXPECT_RECORDING(
      calls,
      (std::vector<std::string>{
          "fillRect 0 0 1000 1300 #F7F3EA",
          "strokeRect 0.5 0.5 999 1299 #D9D3C6 1",
          "drawText 85 1096 830 114 serif 600 105 lh=1.08 kern=-1.05 #15140E lines=1 \"Notes\"",
          "fillGradient 85 1071 260 7 3.5 #FF5D73D9@0 #FFB454D9@0.25 #36D6C3D9@0.5 #6AA6FFD9@0.75 "
          "#B07BFFD9@1",
          "drawText 85 937 830 61 sans 600 46 lh=1.32 #2E2B20 lines=1 \"Plan\"",
          "drawText 85 854 830 53 sans 400 40 lh=1.32 #15140E lines=1 \"Ship it.\"",
          "drawText 105 771 810 53 sans 400 40 lh=1.32 #15140E lines=1 \"\u2013 apples\"",
          "fillRoundedRect 85.5 667.5 829 73 15 #F8F5EE",
          "strokeRoundedRect 85.5 667.5 829 73 15 #D9D3C6 1",
          "drawText 105 687 790 34 mono 400 34 lh=1 #15140E lines=1 \"let x = 1\" 0+3#7A51C7",
      }));
}

TEST(DrawSkim, FollowsThePageRectOrigin) {
  const auto calls = record(titled({}), {.x = 10, .y = 20, .width = 1000, .height = 1300});
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "fillRect 10 20 1000 1300 #F7F3EA");
  EXPECT_EQ(calls[2].rfind("drawText 95 1116 830 114 ", 0), 0u) << calls[2];
}

TEST(DrawSkim, PutsTheBarUnderTheTitleAsDrawn) {
  struct Case {
    const char* name;
    std::string title;
    double barTop;
    bool truncated;
  };
  // One line is in the recording of PaintsFrameTitleBarAndEveryKindOfBlock.
  const std::string word16(16, 'a');  // one title line holds 16 graphemes
  const Case cases[] = {
      {"empty title", "", 108, false},
      {"three lines", word16 + ' ' + word16 + ' ' + word16, 90 + 341 + 18, false},
      {"four lines, cut at 3.4 title sizes", word16 + ' ' + word16 + ' ' + word16 + ' ' + word16,
       90 + 357 + 18, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto calls = record({.title = c.title, .blocks = {}});
    const auto bars = callsNamed(calls, "fillGradient");
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_DOUBLE_EQ(bars[0].top(pageHeight), c.barTop);
    const auto texts = callsNamed(calls, "drawText");
    ASSERT_EQ(texts.size(), c.title.empty() ? 0u : 1u);
    if (!texts.empty()) {
      EXPECT_EQ(texts[0].line.find(" truncate ") != std::string::npos, c.truncated);
    }
  }
}

TEST(DrawSkim, ShortPagesPaintOnlyWhatFits) {
  struct Case {
    const char* name;
    double height;
    std::vector<std::string> callNames;
  };
  const Case cases[] = {
      // bottom limit 90 = top margin: not even the title
      {"too short for the title", 170, {"fillRect", "strokeRect"}},
      // bottom limit 225: title (to 204) fits, bar (to 229) does not, and
      // the cursor moves past the bar's place, so no placeholder either
      {"bar does not fit", 305, {"fillRect", "strokeRect", "drawText"}},
      // bottom limit 336: room 52 is less than one body line (52.8), yet
      // one placeholder line (28) fits
      {"no room for a body line",
       416,
       {"fillRect", "strokeRect", "drawText", "fillGradient", "fillRoundedRect"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> names;
    for (const auto& call : callsNamed(record(titled({Block::body("Hi")}), c.height), "")) {
      names.push_back(call.name);
    }
    EXPECT_EQ(names, c.callNames);
  }
}

TEST(DrawSkim, SpacesBlocksByKindAndPosition) {
  struct Case {
    const char* name;
    std::vector<Block> blocks;
    std::vector<double> textTops;  // top offsets of the blocks' text after the title
    std::vector<double> textLefts;
  };
  const double body = 53;  // ceil(40 x 1.32)
  // A heading first, and every kind after another, are in the recording
  // of PaintsFrameTitleBarAndEveryKindOfBlock.
  const Case cases[] = {
      {"body first", {Block::body("B")}, {firstBlockTop}, {85}},
      {"bullet first", {Block::bullet("b")}, {firstBlockTop}, {105}},
      {"mono first", {Block::mono({"m"})}, {firstBlockTop + 20}, {105}},
      {"heading later",
       {Block::body("B"), Block::heading("H")},
       {firstBlockTop, firstBlockTop + body + 30 + 18},
       {85, 85}},
      {"blank mono laid out as nothing",
       {Block::mono({" ", "\t"}), Block::body("B")},
       {firstBlockTop},
       {85}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto texts = callsNamed(record(titled(c.blocks)), "drawText");
    texts.erase(texts.begin());  // the title
    EXPECT_EQ(tops(texts, pageHeight), c.textTops);
    std::vector<double> lefts;
    for (const auto& text : texts) lefts.push_back(text.x);
    EXPECT_EQ(lefts, c.textLefts);
  }
}

TEST(DrawSkim, WrapsBulletsInsideTheirIndent) {
  // With the prefix, 41 graphemes: one line at the full 830 pt (41 fit),
  // two at the indented 810 pt (40 fit).
  const auto texts = callsNamed(record(titled({Block::bullet(std::string(39, 'x'))})), "drawText");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_DOUBLE_EQ(texts[1].width, 810);
  EXPECT_DOUBLE_EQ(texts[1].height, 106);  // two lines: 2 x 52.8, rounded up
  EXPECT_NE(texts[1].line.find("\"\u2013 xxx"), std::string::npos);
}

TEST(DrawSkim, DrawsAtMostSixMonoLinesInABoxAroundThem) {
  std::vector<std::string> lines;
  for (char i = '0'; i <= '9'; ++i) lines.push_back(std::string{'l', i});
  lines[1] = std::string(30, 'w') + ' ' + std::string(30, 'w');  // wraps: 46 fit in 790 pt
  const auto calls = record(titled({Block::mono(lines)}));

  const auto boxes = callsNamed(calls, "fillRoundedRect");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_DOUBLE_EQ(boxes[0].top(pageHeight), firstBlockTop + 0.5);
  EXPECT_DOUBLE_EQ(boxes[0].height, 7 * 34 + 40 - 1);  // 7 lines, margins, inset
  const auto texts = callsNamed(calls, "drawText");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[1].line.find("\"l0\n" + lines[1] + "\nl2\nl3\nl4\nl5\""), std::string::npos)
      << texts[1].line;
}

TEST(DrawSkim, LeavesOutAMonoBoxThatDoesNotFit) {
  const Block sixLines = Block::mono({"a", "b", "c", "d", "e", "f"});  // box 6 x 34 + 40 = 244
  struct Case {
    const char* name;
    std::vector<Block> blocks;
    std::vector<double> placeholderTops;
    std::size_t texts;
  };
  // Bottom limit 400: 116 pt of room for the box.
  const Case cases[] = {
      {"first block: placeholders from the cursor",
       {sixLines, Block::body("B")},
       {firstBlockTop, firstBlockTop + 58},
       1},
      {"after a block: nothing more", {Block::body("B"), sixLines, Block::body("C")}, {}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto calls = record(titled(c.blocks), 480);
    EXPECT_EQ(tops(callsNamed(calls, "fillRoundedRect"), 480), c.placeholderTops);
    EXPECT_TRUE(callsNamed(calls, "strokeRoundedRect").empty());
    EXPECT_EQ(callsNamed(calls, "drawText").size(), c.texts);
  }
}

TEST(DrawSkim, CutsTheLastTextBlockAndStops) {
  std::string longText = "word";
  for (int i = 0; i < 99; ++i) longText += " word";  // 8 words a line: 13 lines
  struct Case {
    const char* name;
    std::string text;
    double pageHeight, drawnHeight;  // room = page height - 80 - 284
    const char* lines;
  };
  const Case cases[] = {
      {"long paragraph", longText, 564, 200, " lines=3 truncate "},
      {"one line in exactly its room", "B", 417, 53, " lines=1 \""},
      {"one line in a little less", "B", 416.9, 52.9, " lines=1 truncate "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto calls = record(titled({Block::body(c.text), Block::body("after")}), c.pageHeight);
    const auto texts = callsNamed(calls, "drawText");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NEAR(texts[1].top(c.pageHeight), firstBlockTop, 1e-9);
    EXPECT_NEAR(texts[1].height, c.drawnHeight, 1e-9);
    EXPECT_NE(texts[1].line.find(c.lines), std::string::npos) << texts[1].line;
    EXPECT_TRUE(callsNamed(calls, "fillRoundedRect").empty());
  }
}

TEST(DrawSkim, DrawsThePlaceholderLinesThatFit) {
  std::vector<std::string> lines;
  for (const auto& call : callsNamed(record(titled({})), "fillRoundedRect")) {
    lines.push_back(call.line);
  }
  EXPECT_RECORDING(lines, (std::vector<std::string>{"fillRoundedRect 85 988 763.6 28 14 #E4DED2",
                                                    "fillRoundedRect 85 930 730.4 28 14 #E4DED2",
                                                    "fillRoundedRect 85 872 788.5 28 14 #E4DED2",
                                                    "fillRoundedRect 85 814 697.2 28 14 #E4DED2",
                                                    "fillRoundedRect 85 756 498 28 14 #E4DED2"}));

  // Bottom limit 450: lines at 284, 342 and 400 end by 428; the next would end at 486.
  EXPECT_EQ(tops(callsNamed(record(titled({Block::mono({"", " "})}), 530), "fillRoundedRect"), 530),
            (std::vector<double>{284, 342, 400}));
}

TEST(DrawSkim, AcceptsAnyRect) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct Case {
    Rect rect;
    bool paints;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, false},     {{0, 0, -10, 100}, false},     {{nan, 0, 100, 100}, false},
      {{0, 0, 100, inf}, false}, {{0, 0, 1e300, 1e300}, false}, {{1e300, 0, 10, 10}, false},
      {{0, 0, 1, 1}, true},      {{0, 0, 3, 1e5}, true},        {{0, 0, 1e5, 3}, true},
  };
  const MarkdownSkim skim =
      titled({Block::heading("H"), Block::body("b"), Block::mono({"x"}), Block::bullet("c")});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rect.x << ' ' << c.rect.width << ' ' << c.rect.height);
    EXPECT_EQ(record(skim, c.rect).empty(), !c.paints);
  }
}

}  // namespace
}  // namespace tamsel
