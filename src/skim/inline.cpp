#include "skim/inline.h"

#include <unicode/uchar.h>

#include <cstdint>

#include "skim/pattern.h"
#include "skim/text.h"

namespace tamsel {
namespace {

constexpr char16_t ellipsis = u'\u2026';

// "![logo](img/logo.png)": an image with its alt text and target.
const Pattern& imagePattern() {
  static const Pattern pattern(u"!\\[[^\\]]*\\]\\([^)]*\\)");
  return pattern;
}

// "[the guide](docs/guide.md)": a link; group 1 is its text.
const Pattern& linkPattern() {
  static const Pattern pattern(u"\\[([^\\]]*)\\]\\([^)]*\\)");
  return pattern;
}

// "<br/>", "<https://example.org>", "<!-- note -->": anything in angle brackets.
const Pattern& tagPattern() {
  static const Pattern pattern(u"<[^>]+>");
  return pattern;
}

// "a \t\n b": a whitespace run, "\s" being ICU's White_Space property.
const Pattern& spacePattern() {
  static const Pattern pattern(u"\\s+");
  return pattern;
}

bool isWhiteSpace(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

// The ASCII part of White_Space: tab to carriage return, and space.
constexpr bool isAsciiWhiteSpace(char16_t unit) {
  return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

// What one pass over a text finds: the ASCII characters present, and
// whether the space step would change anything (a whitespace run that is
// not one U+0020). Every pattern and marker starts with an ASCII
// character, and cleanup only removes text or moves it about, so a
// character absent at the start stays absent and its steps can be skipped.
// White_Space is what ICU's "\s" matches, and all of it lies in the BMP.
struct TextSurvey {
  std::uint64_t asciiLow = 0;   // bit c for each c in 0x00 to 0x3F present
  std::uint64_t asciiHigh = 0;  // bit c - 0x40 for each c in 0x40 to 0x7F
  bool collapsibleSpace = false;

  bool has(char16_t c) const { return ((c < 0x40 ? asciiLow : asciiHigh) >> (c & 0x3F) & 1) != 0; }
};

// Branch-free on ASCII, where letters, spaces and punctuation alternate too
// irregularly to predict; the bits stay in locals, as setting them in
// memory would chain every unit through a store and a load.
TextSurvey survey(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  bool collapsible = false;
  bool previousSpace = false;
  for (int32_t i = 0; i < length; ++i) {
    const char16_t unit = units[i];
    bool space = false;
    if (unit < 0x80) {
      const std::uint64_t bit = std::uint64_t{1} << (unit & 0x3F);
      low |= unit < 0x40 ? bit : 0;
      high |= unit >= 0x40 ? bit : 0;
      space = isAsciiWhiteSpace(unit);
    } else {
      space = isWhiteSpace(unit);
    }
    collapsible |= space & (previousSpace | (unit != u' '));
    previousSpace = space;
  }
  return TextSurvey{.asciiLow = low, .asciiHigh = high, .collapsibleSpace = collapsible};
}

// Deletes every occurrence of `marker`, left to right, without overlap.
void deleteAll(icu::UnicodeString& text, std::u16string_view marker) {
  const auto size = static_cast<int32_t>(marker.size());
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  icu::UnicodeString kept;
  int32_t copied = 0;
  for (int32_t i = 0; i + size <= length;) {
    if (std::u16string_view(units + i, static_cast<std::size_t>(size)) == marker) {
      kept.append(text, copied, i - copied);
      i += size;
      copied = i;
    } else {
      ++i;
    }
  }
  if (copied == 0) return;
  kept.append(text, copied, length - copied);
  text = std::move(kept);
}

}  // namespace

icu::UnicodeString cleanInline(const icu::UnicodeString& input) {
  icu::UnicodeString text = detail::firstCharacters(input, inlineCharacterLimit);
  const TextSurvey before = survey(text);
  bool changed = false;
  const auto replace = [&](char16_t needed, const Pattern& pattern, const char16_t* with) {
    if (!before.has(needed)) return;
    text = pattern.replaceAll(text, icu::UnicodeString(with));
    changed = true;
  };
  // Images go before links, or an image would leave its "!" and alt text.
  replace(u'!', imagePattern(), u"");
  replace(u'[', linkPattern(), u"$1");
  replace(u'<', tagPattern(), u"");
  for (const std::u16string_view marker : inlineMarkers) {
    if (!before.has(marker[0])) continue;
    deleteAll(text, marker);
    changed = true;
  }
  if (changed ? survey(text).collapsibleSpace : before.collapsibleSpace) {
    text = spacePattern().replaceAll(text, icu::UnicodeString(u" "));
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

void flushParagraph(std::vector<icu::UnicodeString>& lines,
                    std::vector<MarkdownSkim::Block>& blocks) {
  if (lines.empty()) return;
  icu::UnicodeString joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined.append(u' ');
    joined.append(lines[i]);
  }
  lines.clear();
  const icu::UnicodeString cleaned = cleanInline(joined);
  if (!cleaned.isEmpty()) blocks.push_back(MarkdownSkim::Block::body(detail::toUtf8(cleaned)));
}

}  // namespace tamsel
