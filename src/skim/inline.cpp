// SPDX-License-Identifier: MIT
#include "skim/inline.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "skim/text.h"
#include "text/patterns.h"

namespace tamsel {
namespace {

constexpr char16_t ellipsis = u'\u2026';

bool isWhiteSpace(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

// The characters that cleanup steps need: a step cannot match without all
// of its own. Cleanup only removes text or moves it about, so a character
// absent at the start stays absent and its steps can be skipped.
constexpr std::u16string_view stepCharacters = u"![]()<>*_~`";

// What one pass over a text finds, as bits: one per step character
// present, and two that tell whether the space step would change anything.
// White_Space is what the space step joins; all of it is in the BMP.
using Survey = std::uint16_t;
constexpr Survey otherWhiteSpaceBit = 1u << 14;  // White_Space other than U+0020
// In a unit's bits: it is White_Space. In a survey: two of them in a row.
constexpr Survey whiteSpaceBit = 1u << 15;
static_assert(stepCharacters.size() <= 14, "step bits would overlap the space bits");

constexpr Survey stepBit(char16_t c) {
  const std::size_t index = stepCharacters.find(c);
  return index == std::u16string_view::npos ? 0 : static_cast<Survey>(1u << index);
}

constexpr Survey stepBits(std::u16string_view characters) {
  Survey bits = 0;
  for (const char16_t c : characters) bits |= stepBit(c);
  return bits;
}

bool hasAll(Survey found, std::u16string_view characters) {
  const Survey needed = stepBits(characters);
  return (found & needed) == needed;
}

constexpr std::array<Survey, 0x80> asciiSurveyBits = [] {
  std::array<Survey, 0x80> bits{};
  for (char16_t c = 0; c < 0x80; ++c) bits[c] = stepBit(c);
  bits[u' '] |= whiteSpaceBit;
  for (char16_t c = u'\t'; c <= u'\r'; ++c) bits[c] |= whiteSpaceBit | otherWhiteSpaceBit;
  return bits;
}();

bool collapsible(Survey found) {
  return (found & (otherWhiteSpaceBit | whiteSpaceBit)) != 0;
}

// One table lookup per ASCII unit, with no branch on what it holds:
// letters, spaces and punctuation alternate too irregularly to predict.
Survey survey(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  Survey found = 0;
  Survey previous = 0;
  for (int32_t i = 0; i < length; ++i) {
    const char16_t unit = units[i];
    Survey bits = 0;
    if (unit < 0x80) {
      bits = asciiSurveyBits[unit];
    } else if (isWhiteSpace(unit)) {
      bits = whiteSpaceBit | otherWhiteSpaceBit;
    }
    found |= (bits & ~whiteSpaceBit) | (bits & previous & whiteSpaceBit);
    previous = bits;
  }
  return found;
}

// Deletes every occurrence of `marker`, left to right, without overlap.
void deleteAll(icu::UnicodeString& text, std::u16string_view marker) {
  const auto size = static_cast<int32_t>(marker.size());
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  if (length < size) return;
  const char16_t* const lastStart = units + length - size + 1;
  icu::UnicodeString kept;
  int32_t copied = 0;
  for (const char16_t* at = units; (at = std::find(at, lastStart, marker[0])) < lastStart;) {
    if (std::u16string_view(at, marker.size()) != marker) {
      ++at;
      continue;
    }
    const auto start = static_cast<int32_t>(at - units);
    kept.append(text, copied, start - copied);
    at += size;
    copied = start + size;
  }
  if (copied == 0) return;
  kept.append(text, copied, length - copied);
  text = std::move(kept);
}

}  // namespace

icu::UnicodeString cleanInline(const icu::UnicodeString& input) {
  icu::UnicodeString text = detail::firstCharacters(input, inlineCharacterLimit);
  const Survey before = survey(text);
  bool changed = false;
  const auto replace = [&](std::u16string_view needed,
                           icu::UnicodeString (*step)(const icu::UnicodeString&)) {
    if (!hasAll(before, needed)) return;
    text = step(text);
    changed = true;
  };
  // "![logo](img/logo.png)", "[the guide](docs/guide.md)", "<br/>". Images
  // go before links, or an image would leave its "!" and alt text.
  replace(u"![]()", withoutImages);
  replace(u"[]()", withLinksAsText);
  replace(u"<>", withoutTags);
  for (const std::u16string_view marker : inlineMarkers) {
    if ((before & stepBit(marker[0])) == 0) continue;
    deleteAll(text, marker);
    changed = true;
  }
  if (collapsible(changed ? survey(text) : before)) {
    text = withSpaceRunsJoined(text);
  }
  return clipLongWords(detail::trim(text), longWordLimit);
}

icu::UnicodeString clipLongWords(const icu::UnicodeString& text, int32_t limit) {
  // A character is at least one unit, so no piece of a short text is long.
  const int32_t length = text.length();
  if (length <= limit) return text;
  const char16_t* units = text.getBuffer();
  detail::CharacterCursor cursor(text);
  icu::UnicodeString clipped;
  int32_t copied = 0;  // units of `text` before this are in `clipped`
  int32_t start = 0;
  for (int32_t i = 0; i <= length; ++i) {
    // Pieces end at spaces that are characters of their own: " \u0301" is not.
    if (i < length && (units[i] != u' ' || !cursor.isBoundary(i) || !cursor.isBoundary(i + 1))) {
      continue;
    }
    if (i - start > limit && cursor.advance(start, limit) < i) {
      clipped.append(text, copied, cursor.advance(start, limit - 1) - copied).append(ellipsis);
      copied = i;
    }
    start = i + 1;
  }
  if (copied == 0) return text;
  clipped.append(text, copied, length - copied);
  return clipped;
}

}  // namespace tamsel
