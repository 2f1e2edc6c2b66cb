// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>
#include <unordered_set>

#include "render/canvas.h"

namespace tamsel {

constexpr Color keywordColor = rgb8(122, 81, 199);  // violet
constexpr Color stringColor = rgb8(23, 122, 110);   // teal

// The 51 words coloured as keywords, case-sensitive, whole words only.
// Built on first use, thread-safely, then only read.
const std::unordered_set<std::string_view>& codeKeywords();

// `text` (UTF-8, lines separated by line feeds) as styled text in `font`,
// `inkColor`, line height multiple 1.0 and word wrapping, with ASCII
// identifiers that are `codeKeywords` in `keywordColor` and quoted strings
// ("..." or '...', never across a line feed, quotes included) in
// `stringColor`. Word boundaries are those of `identifierRanges`: a
// keyword touching a letter, mark or digit of any script is not one. String
// runs follow keyword runs, so a keyword inside a string shows in the string
// colour. Runs are UTF-8 byte ranges of the result's text, which is `text`
// itself when that is valid UTF-8 without NUL (invalid sequences and NUL
// become U+FFFD).
StyledText highlightCode(std::string_view text, const Font& font);

}  // namespace tamsel
