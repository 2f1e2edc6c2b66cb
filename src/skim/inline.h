// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/unistr.h>

#include <array>
#include <string_view>
#include <vector>

#include "skim/markdown_skim.h"

// Inline cleanup: a piece of inline Markdown reduced to short plain text.
// Counts are in user-perceived characters (extended grapheme clusters).
namespace tamsel {

// Characters of inline text that are cleaned; the rest is dropped first, so
// a call costs the same however long the paragraph is.
constexpr int32_t inlineCharacterLimit = 300;

// Longest word a thumbnail line shows whole; longer words are cut to this
// many characters, the last of them "…".
constexpr int32_t longWordLimit = 28;

// Emphasis, strike-through and code markers, deleted literally in this
// order: doubled markers first, so "~~" goes in pairs while a lone "~" stays.
constexpr std::array<std::u16string_view, 6> inlineMarkers = {u"**", u"__", u"~~",
                                                              u"`",  u"*",  u"_"};

// `text` as plain text: cut to `inlineCharacterLimit` characters of at most
// `detail::characterCodePointLimit` code points each; images removed; links
// replaced by their text; HTML tags removed; markers deleted; every
// whitespace run (White_Space: tab, line breaks, form feed, Unicode
// separators) made one space; tab and Zs trimmed from both ends; long words
// clipped by `clipLongWords`. May return the empty text; never fails.
//
//   cleanInline("**See [the guide](docs/guide.md)**  now") == "See the guide now"
icu::UnicodeString cleanInline(const icu::UnicodeString& text);

// `text` with every piece between single U+0020 spaces that is longer than
// `limit` characters cut to `limit` - 1 characters and "…". Spaces, runs of
// them and spaces at the ends stay exactly where they were. `limit` >= 1.
icu::UnicodeString clipLongWords(const icu::UnicodeString& text, int32_t limit);

}  // namespace tamsel
