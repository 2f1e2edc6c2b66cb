// SPDX-License-Identifier: MIT
#include "drawer/skim_json.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "text/utf8.h"

namespace tamsel {
namespace {

void appendEscaped(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char c : repairedUtf8(bytes)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20) {
      char escape[7];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out;
  appendEscaped(out, text);
  return out;
}

std::string skimToJson(const MarkdownSkim& skim) {
  std::string out = "{\"title\": ";
  appendEscaped(out, skim.title);
  out += ", \"blocks\": [";
  bool firstBlock = true;
  for (const auto& block : skim.blocks) {
    if (!firstBlock) out += ", ";
    firstBlock = false;
    out += "{\"kind\": ";
    appendEscaped(out, kindName(block.kind()));
    if (block.isMono()) {
      out += ", \"lines\": [";
      bool firstLine = true;
      for (const auto& line : block.lines()) {
        if (!firstLine) out += ", ";
        firstLine = false;
        appendEscaped(out, line);
      }
      out += ']';
    } else {
      out += ", \"text\": ";
      appendEscaped(out, block.text());
    }
    out += '}';
  }
  out += "]}";
  return out;
}

}  // namespace tamsel
