// SPDX-License-Identifier: MIT
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "skim/markdown_skim.h"

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

// The skim a dump shows, so layout inputs can be written as dumps.
inline MarkdownSkim readSkim(const std::string& dump) {
  using Block = MarkdownSkim::Block;
  MarkdownSkim skim;
  std::vector<std::string> mono;
  bool inMono = false;
  const auto endMono = [&] {
    if (inMono) skim.blocks.push_back(Block::mono(std::move(mono)));
    mono.clear();
    inMono = false;
  };
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (inMono && line.starts_with('|')) {
      mono.push_back(line.size() > 2 ? line.substr(2) : "");
      continue;
    }
    endMono();
    const auto colon = line.find(':');
    const std::string kind = line.substr(0, colon);
    const std::string text = line.size() > colon + 2 ? line.substr(colon + 2) : "";
    if (kind == "title") skim.title = text;
    if (kind == "body") skim.blocks.push_back(Block::body(text));
    if (kind == "heading") skim.blocks.push_back(Block::heading(text));
    if (kind == "bullet") skim.blocks.push_back(Block::bullet(text));
    inMono = kind == "mono";
  }
  endMono();
  return skim;
}

}  // namespace tamsel::testing
