#include "skim/inline.h"

#include <unicode/uchar.h>

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

// The space pass changes nothing when every run is one U+0020 already; most
// cleaned texts are like that. White_Space is what ICU's "\s" matches, and
// all of it lies in the BMP.
bool hasCollapsibleSpace(const icu::UnicodeString& text) {
  bool previousSpace = false;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t unit = text[i];
    const bool space = unit == u' ' || ((unit < u' ' || unit >= 0x80) && isWhiteSpace(unit));
    if (space && (previousSpace || unit != u' ')) return true;
    previousSpace = space;
  }
  return false;
}

icu::UnicodeString replaceAllIfPresent(const icu::UnicodeString& text, const Pattern& pattern,
                                       const char16_t* replacement, char16_t required) {
  if (text.indexOf(required) < 0) return text;
  return pattern.replaceAll(text, icu::UnicodeString(replacement));
}

void deleteMarkers(icu::UnicodeString& text) {
  for (const std::u16string_view marker : inlineMarkers) {
    const icu::UnicodeString target(false, marker.data(), static_cast<int32_t>(marker.size()));
    if (text.indexOf(target) >= 0) text.findAndReplace(target, icu::UnicodeString());
  }
}

}  // namespace

icu::UnicodeString cleanInline(const icu::UnicodeString& input) {
  icu::UnicodeString text = detail::firstCharacters(input, inlineCharacterLimit);
  // Images go before links, or an image would leave its "!" and alt text.
  text = replaceAllIfPresent(text, imagePattern(), u"", u'!');
  text = replaceAllIfPresent(text, linkPattern(), u"$1", u'[');
  text = replaceAllIfPresent(text, tagPattern(), u"", u'<');
  deleteMarkers(text);
  if (hasCollapsibleSpace(text)) text = spacePattern().replaceAll(text, icu::UnicodeString(u" "));
  return clipLongWords(detail::trim(text), longWordLimit);
}

icu::UnicodeString clipLongWords(const icu::UnicodeString& text, int32_t limit) {
  detail::CharacterCursor cursor(text);
  icu::UnicodeString clipped;
  int32_t pieceStart = 0;
  int32_t pieceCharacters = 0;
  int32_t keepEnd = 0;  // end of the piece's first `limit` - 1 characters
  const auto endPiece = [&](int32_t end) {
    if (pieceCharacters > limit) {
      clipped.append(text, pieceStart, keepEnd - pieceStart).append(ellipsis);
    } else {
      clipped.append(text, pieceStart, end - pieceStart);
    }
  };
  int32_t offset = 0;
  while (offset < text.length()) {
    const int32_t next = cursor.nextBoundary(offset);
    if (next == offset + 1 && text[offset] == u' ') {
      endPiece(offset);
      clipped.append(u' ');
      pieceStart = next;
      pieceCharacters = 0;
      keepEnd = next;
    } else {
      ++pieceCharacters;
      if (pieceCharacters < limit) keepEnd = next;
    }
    offset = next;
  }
  endPiece(text.length());
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
