// SPDX-License-Identifier: MIT
#include "render/highlight.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "render/text_style.h"

namespace tamsel {
namespace {

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

TEST(HighlightCode, ColoursKeywordsAndStrings) {
  struct Case {
    const char* name;
    std::string text, expected;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"whole words only", "for format before fore_ for_x", "<k>for</k> format before fore_ for_x"},
      {"case matters", "None none NONE Return return",
       "<k>None</k> none NONE Return <k>return</k>"},
      {"digits and letters join words", "2for \u00e9for for\u00e9 \u4e2dif x1if",
       "2for \u00e9for for\u00e9 \u4e2dif x1if"},
      {"punctuation is a boundary", "$for .for (if) _for a-in-b",
       "$<k>for</k> .<k>for</k> (<k>if</k>) _for a-<k>in</k>-b"},
      {"keywords inside strings", "x = \"if else\" + 'let'",
       "x = <s>\"if else\"</s> + <s>'let'</s>"},
      {"empty quotes", "\"\" ''", "<s>\"\"</s> <s>''</s>"},
      {"unclosed quote stays on its line", "\"open if\nreturn \"x\"",
       "\"open <k>if</k>\n<k>return</k> <s>\"x\"</s>"},
      {"backslash escapes nothing", "\"a \\\"b\\\" c\"", "<s>\"a \\\"</s>b\\<s>\" c\"</s>"},
      {"apostrophes pair up", "don't return what isn't", "don<s>'t return what isn'</s>t"},
      {"emoji before a keyword", "\U0001F600 return \"\U0001F600\" if",
       "\U0001F600 <k>return</k> <s>\"\U0001F600\"</s> <k>if</k>"},
      {"NUL does not shift colours", std::string("\0 if", 4), "\uFFFD <k>if</k>"},
      {"invalid UTF-8 does not shift colours", "\xC3( \xFF if", "\uFFFD( \uFFFD <k>if</k>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(marked(highlightCode(c.text, monoStyle(100).font)), c.expected);
  }
}

}  // namespace
}  // namespace tamsel
