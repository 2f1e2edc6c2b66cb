#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "skim/markdown_skim.h"
#include "support/line_diff.h"

namespace tamsel::testing {

// Tabs are shown as "→" and carriage returns as "␍", so they survive
// editors and stay visible in diffs.
inline std::string showInvisibles(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    if (c == '\t') {
      shown += "→";
    } else if (c == '\r') {
      shown += "␍";
    } else {
      shown += c;
    }
  }
  return shown;
}

// One line per item: "title: …", then "body: …", "heading: …", "bullet: …",
// or "mono:" followed by one "| …" line per code line ("|" alone when empty,
// so no dump line ends in a space).
inline std::string dumpSkim(const MarkdownSkim& skim) {
  std::string dump = "title: " + showInvisibles(skim.title) + "\n";
  for (const auto& block : skim.blocks) {
    dump += kindName(block.kind());
    if (block.isMono()) {
      dump += ":\n";
      for (const auto& line : block.lines()) {
        dump += line.empty() ? "|\n" : "| " + showInvisibles(line) + "\n";
      }
    } else {
      dump += ": " + showInvisibles(block.text()) + "\n";
    }
  }
  return dump;
}

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Passes when `skim` dumps to `expected`; otherwise the message shows the
// dumps' line diff.
inline ::testing::AssertionResult skimDumpIs(const MarkdownSkim& skim,
                                             const std::string& expected) {
  const std::string actual = dumpSkim(skim);
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "skim differs (- expected, + actual):\n"
                                       << lineDiff(splitLines(expected), splitLines(actual));
}

}  // namespace tamsel::testing
