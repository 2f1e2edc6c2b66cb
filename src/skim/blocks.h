// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/unistr.h>

#include <string_view>
#include <vector>

#include "skim/markdown_skim.h"

// Second phase of skimming: lines, title and blocks from the decoded text.
// Counts are in user-perceived characters (extended grapheme clusters).
namespace tamsel {

// Non-blank lines searched for the title; the 41st ends the search unread.
// A title further down is not what the reader sees first anyway.
constexpr int titleScanLimit = 40;

// Lines the block pass examines, from its start line: blank lines, fence
// lines and dropped code lines included. About two thumbnails' worth.
constexpr int lineWindow = 80;

// Characters kept of each code line; the rest is dropped without a mark.
constexpr int32_t codeLineWidth = 120;

// Longest run of "#" that opens a heading; "#######" is paragraph text.
constexpr int32_t maxHeadingLevel = 6;

// The skim of a decoded text. `text` is what `stripFrontMatter` returns,
// line breaks as in the file (CR LF and LF; a lone CR stays in its line).
// `fileName` is the last path component, any bytes: invalid UTF-8 in it
// becomes U+FFFD. The title is the first "# " line or "="-underlined line
// among the first `titleScanLimit` non-blank lines, else `fallbackTitle`.
// Never fails.
MarkdownSkim skimText(const icu::UnicodeString& text, std::string_view fileName);

// The file name without its last extension: "notes.md" gives "notes",
// "archive.tar.gz" gives "archive.tar", and "README" and ".profile" stay.
// "notes." gives "notes". A name that would be left with dots only or
// nothing ("..", "...", "..md") stays whole, as the best name there is.
// Invalid UTF-8 becomes U+FFFD. The result is not cleaned.
icu::UnicodeString fallbackTitle(std::string_view fileName);

}  // namespace tamsel
