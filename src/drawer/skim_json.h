// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "skim/markdown_skim.h"

namespace tamsel {

// The skim as one line of JSON, in exactly this form (key order and the ", "
// and ": " separators are relied on by outside checks):
//   {"title": "...", "blocks": [{"kind": "body", "text": "..."},
//    {"kind": "mono", "lines": ["...", "..."]}]}
// with no line break. Always valid UTF-8: ill-formed bytes in the skim's text
// become U+FFFD.
std::string skimToJson(const MarkdownSkim& skim);

// `text` as a JSON string literal, quotes included: '"' and '\' escaped,
// control characters escaped (\n, \t, ... or \u00XX), everything else written
// as it is, ill-formed UTF-8 replaced by U+FFFD.
std::string jsonString(std::string_view text);

}  // namespace tamsel
