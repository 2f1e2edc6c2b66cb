// SPDX-License-Identifier: MIT
// Runs the layout examples in tests/render/cases/*.txt (format in
// tests/support/example_cases.h): the input is a skim written as its dump
// (tests/support/skim_dump.h), "%page X Y WIDTH HEIGHT" the page rect
// (0 0 1000 1300 unless given), and the expected output the recording, one
// call a line (tests/support/recording_canvas.h) with "↵" for a line feed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "render/draw_skim.h"
#include "render/font_setup.h"
#include "render/fontconfig_xml.h"
#include "render/highlight.h"
#include "render/text_style.h"
#include "support/example_cases.h"
#include "support/recording_canvas.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

Rect pageRect(const testing::ExampleCase& example) {
  const std::string page = testing::setting(example, "page", "0 0 1000 1300");
  // strtod, unlike a stream, reads "nan" and "inf".
  const char* at = page.c_str();
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

// Examples with "%read" are tables: code lines as the code box colours them,
// and fontconfig files as the page's configuration reads them.
class LayoutCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(LayoutCases, MatchesRecording) {
  const std::string read = testing::setting(GetParam(), "read");
  if (read.empty()) {
    EXPECT_EQ(recording(GetParam()), GetParam().expected) << GetParam().where;
    return;
  }
  testing::expectEachLine(GetParam(), [&](const std::string& line) -> std::string {
    namespace xml = fontconfig_xml;
    if (read == "highlight") return marked(highlightCode(line, monoStyle(100).font));
    if (read == "aliases") return xml::onlyOtherFamilyAliases(line) ? "skip" : "load";
    if (read == "number") {
      const auto number = xml::confFileNumber(line);
      return number ? std::to_string(*number) : "none";
    }
    if (read == "escape") return xml::escaped(line);
    const auto found = xml::findConfDirInclude(line);
    return found ? found->target + " at " + std::to_string(found->begin) + "-" +
                       std::to_string(found->end)
                 : "none";
  });
}

// The page's own fontconfig configuration stands aside when the environment
// names one; that its pages match the full configuration's is
// render.system_fonts' check.
TEST(PageFontConfig, LeavesAConfigurationNamedInTheEnvironmentToFontconfig) {
  const char* const before = std::getenv("FONTCONFIG_FILE");
  const std::optional<std::string> saved =
      before ? std::optional<std::string>(before) : std::nullopt;
  setenv("FONTCONFIG_FILE", "/etc/fonts/fonts.conf", 1);
  EXPECT_FALSE(detail::pageFontConfig());
  if (saved) {
    setenv("FONTCONFIG_FILE", saved->c_str(), 1);
  } else {
    unsetenv("FONTCONFIG_FILE");
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, LayoutCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/render/cases")),
                         testing::caseName);

}  // namespace
}  // namespace tamsel
