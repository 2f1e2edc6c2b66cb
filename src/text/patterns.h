// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <vector>

// The few fixed patterns the skimmer and the code colourer look for, each
// matched by hand in one linear pass: a regular expression engine costs a
// thumbnail several million instructions of set-up before its first match.
//
// Each finds exactly what ICU's engine finds for the expression quoted with
// it, compiled with no flags and run over the whole text: leftmost matches,
// a search resuming where the last match ended. Offsets are UTF-16 code
// units; an unpaired surrogate is a character of its own.
namespace tamsel {

// A span of a text in UTF-16 code units.
struct Utf16Range {
  int32_t start = 0;
  int32_t length = 0;
  friend bool operator==(const Utf16Range&, const Utf16Range&) = default;
};

// ^---[ \t]*\r?\n[\s\S]*?\r?\n---[ \t]*\r?(\n|$)
// The length of its match at the start of `text`, 0 when there is none.
int32_t frontMatterLength(const icu::UnicodeString& text);

// !\[[^\]]*\]\([^)]*\)  replaced by nothing.
icu::UnicodeString withoutImages(const icu::UnicodeString& text);

// \[([^\]]*)\]\([^)]*\)  replaced by what the brackets hold, taken as it is.
icu::UnicodeString withLinksAsText(const icu::UnicodeString& text);

// <[^>]+>  replaced by nothing.
icu::UnicodeString withoutTags(const icu::UnicodeString& text);

// \s+  replaced by one space; "\s" is the White_Space property.
icu::UnicodeString withSpaceRunsJoined(const icu::UnicodeString& text);

// \b[A-Za-z_][A-Za-z0-9_]*\b  with ICU's own "\b": no boundary before a
// Grapheme_Extend or format (Cf) character, and such characters are passed
// over when looking back for the character before a position.
std::vector<Utf16Range> identifierRanges(const icu::UnicodeString& text);

// "[^"\n]*"|'[^'\n]*'
std::vector<Utf16Range> quotedRanges(const icu::UnicodeString& text);

}  // namespace tamsel
