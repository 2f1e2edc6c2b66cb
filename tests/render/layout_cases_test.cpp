// SPDX-License-Identifier: MIT
// Runs the layout examples in tests/render/cases/*.txt (format in
// tests/support/example_cases.h): the input is a skim written as its dump
// (tests/support/skim_dump.h), "%page X Y WIDTH HEIGHT" the page rect
// (0 0 1000 1300 unless given), and the expected output the recording, one
// call a line (tests/support/recording_canvas.h) with "↵" for a line feed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "render/draw_skim.h"
#include "render/highlight.h"
#include "render/text_style.h"
#include "support/example_cases.h"
#include "support/recording_canvas.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

Rect pageRect(const testing::ExampleCase& example) {
  const auto page = example.settings.find("page");
  if (page == example.settings.end()) return {.x = 0, .y = 0, .width = 1000, .height = 1300};
  // strtod, unlike a stream, reads "nan" and "inf".
  const char* at = page->second.c_str();
  char* end = nullptr;
  double side[4] = {};
  for (double& value : side) {
    value = std::strtod(at, &end);
    at = end;
  }
  return {.x = side[0], .y = side[1], .width = side[2], .height = side[3]};
}

std::string recording(const testing::ExampleCase& example) {
  RecordingCanvas canvas;
  drawSkim(testing::readSkim(example.input), pageRect(example), canvas);
  std::string lines;
  for (std::string call : canvas.calls()) {
    for (auto at = call.find('\n'); at != std::string::npos; at = call.find('\n', at)) {
      call.replace(at, 1, "↵");
    }
    lines += testing::showInvisibles(call) + "\n";
  }
  return lines;
}

// The styled text with each recoloured span marked, as the canvas will
// resolve it: <k>keyword</k>, <s>string</s>.
std::string marked(const StyledText& styled) {
  std::string out;
  std::size_t at = 0;
  for (const ColorRun& run : flattenRuns(styled)) {
    const char* tag = run.color == keywordColor ? "k" : run.color == stringColor ? "s" : "?";
    out += styled.text.substr(at, run.start - at);
    out +=
        std::string("<") + tag + '>' + styled.text.substr(run.start, run.length) + "</" + tag + '>';
    at = run.start + run.length;
  }
  return out + styled.text.substr(at);
}

// "%read highlight" examples are code lines as the code box colours them.
class LayoutCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(LayoutCases, MatchesRecording) {
  const std::string result =
      testing::setting(GetParam(), "read") == "highlight"
          ? testing::eachLine(
                GetParam(),
                [](const std::string& line) {
                  return testing::shown(marked(highlightCode(line, monoStyle(100).font)));
                })
          : recording(GetParam());
  EXPECT_EQ(result, GetParam().expected) << GetParam().where;
}

INSTANTIATE_TEST_SUITE_P(Examples, LayoutCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/render/cases")),
                         testing::caseName);

}  // namespace
}  // namespace tamsel
