// SPDX-License-Identifier: MIT
// Properties of whole skims: the examples are in cases/*.txt.
#include "skim/skim.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>

#include "support/skim_dump.h"
#include "support/skim_promises.h"

namespace tamsel {
namespace {

std::string lines(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line + "\n";
  return text;
}

// Blank lines are invisible in a case file, so the window is counted here.
TEST(Limits, LineWindowCountsFromTheStartLine) {
  EXPECT_EQ(skim(lines("", lineWindow - 1) + "text\n", "n.md").blocks.size(), 1u);
  EXPECT_EQ(skim(lines("", lineWindow) + "text\n", "n.md").blocks.size(), 0u);
  EXPECT_EQ(skim("# T\n" + lines("", lineWindow - 1) + "text\n", "n.md").blocks.size(), 1u);
  // Fence lines and dropped code lines count as well.
  EXPECT_EQ(skim("```\n" + lines("x", lineWindow - 3) + "```\ntext\n", "n.md").blocks.size(), 2u);
  EXPECT_EQ(skim("```\n" + lines("x", lineWindow - 2) + "```\ntext\n", "n.md").blocks.size(), 1u);
}

// Random documents from Markdown-ish pieces: the skim of CR LF text is the
// skim of the same text with LF, and every skim keeps its promises. A CR
// never comes right before an LF here, or it would join the line break.
TEST(Skim, CrLfGivesTheSameSkimAsLf) {
  const char* pieces[] = {"# ",      "## ", "- ", "* ",      "1. ",     "```",    "---", "===",
                          "word ",   "\n",  "\n", "\t",      " ",       "**",     "_",   "[a](b)",
                          "![i](j)", "<b>", "é",  "e\u0301", "#\u0301", "\u00A0", "\rx", "١. "};
  std::mt19937 random(11);
  for (int round = 0; round < 500; ++round) {
    std::string lf;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) lf += pieces[random() % std::size(pieces)];
    std::string crLf;
    for (const char c : lf) crLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const MarkdownSkim fromLf = skim(lf, "n.md");
    EXPECT_EQ(testing::brokenPromise(fromLf), "");
    ASSERT_EQ(testing::dumpSkim(skim(crLf, "n.md")), testing::dumpSkim(fromLf)) << lf;
  }
}

TEST(Pathological, HostileInputsJustRun) {
  std::mt19937 random(20240301);
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string marks = "#";
  for (int i = 0; i < 20000; ++i) marks += "\u0301";
  const std::pair<const char*, std::string> cases[] = {
      {"64 KiB on one line", std::string(70000, 'a')},
      {"64 KiB of spaces", std::string(70000, ' ')},
      {"10,000 fences", lines("```", 10000)},
      {"unclosed front matter", "---\n" + lines("key: value", 7000)},
      {"NUL bytes", std::string(70000, '\0')},
      {"invalid UTF-8 throughout", noise},
      {"brackets", std::string(70000, '[')},
      {"unclosed tags", lines(std::string(1000, '<'), 70)},
      {"nothing but line breaks", std::string(70000, '\n')},
      {"lone carriage returns", std::string(70000, '\r')},
      {"combining marks on one base", marks},
      {"numbered digits forever", std::string(70000, '7')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(testing::brokenPromise(skim(bytes, "hostile\xFF.md")), "");
  }
}

// Linux file names are bytes; a Latin-1 name gave a title that was not
// UTF-8, which the renderer and the JSON output cannot take.
TEST(Regression, FileNameInLatin1GaveAnInvalidTitle) {
  EXPECT_EQ(skim("", "r\xE9sum\xE9.md").title, "r\uFFFDsum\uFFFD");
}

}  // namespace
}  // namespace tamsel
