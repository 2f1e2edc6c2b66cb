// SPDX-License-Identifier: MIT
#include "service/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "drawer/skim_json.h"
#include "drawer/thumbnail_size.h"
#include "platform/file_url.h"
#include "render/image.h"
#include "support/example_cases.h"

namespace tamsel {
namespace {

static_assert(pageSideLimit <= maxImageSide,
              "the command line must refuse what the renderer would");

// The command line `args` (split at each space) as "128x128 min 0x0 in.md -> out.png",
// "skim a.md", "cache large,x-large j2 force a b", "help", "version" or "error: ...".
std::string parsed(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; std::getline(in, word, ' ');) words.push_back(word);
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.c_str());
  const auto result = parseCommandLine(argv);
  if (const auto* error = std::get_if<std::string>(&result)) return "error: " + *error;
  const auto& line = std::get<CommandLine>(result);
  if (line.action == Action::cache) {
    std::ostringstream text;
    text << "cache";
    for (std::size_t i = 0; i < line.cache.flavors.size(); ++i) {
      text << (i == 0 ? " " : ",") << flavorName(line.cache.flavors[i]);
    }
    text << " j" << line.cache.jobs << (line.cache.force ? " force" : "");
    for (const auto& path : line.cache.paths) text << " " << path;
    return text.str();
  }
  if (line.action != Action::thumbnail) {
    return line.action == Action::skim              ? "skim " + line.input
           : line.action == Action::keepFontAnswers ? "keep font answers"
           : line.action == Action::help            ? "help"
                                                    : "version";
  }
  std::ostringstream out;
  out << line.maximum.width << "x" << line.maximum.height << " min " << line.minimum.width << "x"
      << line.minimum.height << " " << line.input << " -> " << line.output;
  return out.str();
}

// "MAXxMAX min MINxMIN" as the page size thumbnailSize gives.
std::string sized(std::string line) {
  Size maximum, minimum;
  std::replace(line.begin(), line.end(), 'x', ' ');  // "0x10" would read as hexadecimal
  std::sscanf(line.c_str(), "%lf %lf min %lf %lf", &maximum.width, &maximum.height, &minimum.width,
              &minimum.height);
  const Size size = thumbnailSize(maximum, minimum);
  std::ostringstream out;
  out << std::setprecision(12) << size.width << "x" << size.height;
  return out.str();
}

// Runs the examples in tests/service/cases/*.txt (format in
// tests/support/example_cases.h): each input line is read as "%read" says,
// and the results, one a line, must be the expected output.
class CommandLineCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(CommandLineCases, MatchesExample) {
  const std::string reader = testing::setting(GetParam(), "read");
  testing::expectEachLine(GetParam(), [&](const std::string& line) {
    if (reader == "input") return inputPath(line).value_or("not a local file");
    if (reader == "json") return jsonString(line);
    if (reader == "size") return sized(line);
    return reader == "name" ? lastPathComponent(line) : parsed(line);
  });
}

INSTANTIATE_TEST_SUITE_P(Examples, CommandLineCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/service/cases")),
                         testing::caseName);

// Exact halves: MW == MH * aspect takes the second branch, so the height
// stays MH exactly, where MW / aspect rounds otherwise for these heights.
TEST(ThumbnailSizeTest, ExactAspectIsFittedByHeight) {
  for (const double height : {13.0, 97.0, 119.0}) {
    const Size size = thumbnailSize({height * pageAspect, height}, {0, 0});
    EXPECT_EQ(size.height, height);
    EXPECT_EQ(size.width, height * pageAspect);
  }
}

TEST(SkimJsonTest, KeepsALineSeparator) {
  EXPECT_EQ(jsonString("/ \u2028"), "\"/ \u2028\"");  // invisible in a case file
}

TEST(CommandLineTest, OnlyFileURLsAreLocalURLs) {
  EXPECT_TRUE(isOtherURL("http://example.org/a.md"));
  EXPECT_FALSE(isOtherURL("FILE:///x.md"));
}

TEST(CommandLineTest, PathsSurviveTheURLRoundTrip) {
  for (const std::string path : {"/a b/c%d#e?.md", "/bad\xFF\xFEname.md", "/x/../y/./z.md"}) {
    const auto url = fileURLFromPath(path);
    ASSERT_TRUE(url) << path;
    EXPECT_EQ(filePathFromURL(*url), path);
  }
  const auto relative = fileURLFromPath("rel.md");
  ASSERT_TRUE(relative);
  EXPECT_TRUE(relative->starts_with("file:///") && relative->ends_with("/rel.md")) << *relative;
}

TEST(CommandLineTest, OutputExtensionPicksTheFormatAndPathsStayOnOneLine) {
  EXPECT_EQ(outputFormat("a.svg"), DrawnFormat::svg);
  EXPECT_EQ(outputFormat("a.PDF"), DrawnFormat::pdf);
  EXPECT_EQ(outputFormat("thumb"), DrawnFormat::png);
  EXPECT_EQ(outputFormat("dir.svg/thumb"), DrawnFormat::png);
  EXPECT_EQ(quotedPath("a b\nc\t\x1b\x7f"), "'a b\\nc\\t\\x1b\\x7f'");
}

}  // namespace
}  // namespace tamsel
