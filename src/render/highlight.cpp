// SPDX-License-Identifier: MIT
#include "render/highlight.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/text_style.h"
#include "text/patterns.h"

namespace tamsel {
namespace {

// byteOffsets[i] is the UTF-8 byte offset of UTF-16 unit i of `text`; one
// entry more marks the end. Matching counts UTF-16 units and the canvas
// counts bytes, so every range goes through this one table.
std::vector<std::size_t> utf8Offsets(const icu::UnicodeString& text) {
  std::vector<std::size_t> offsets(static_cast<std::size_t>(text.length()) + 1);
  std::size_t bytes = 0;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    const int32_t units = U16_LENGTH(c);
    for (int32_t k = 0; k < units && i + k < text.length(); ++k) offsets[i + k] = bytes;
    bytes += U8_LENGTH(c);
    i += units;
  }
  offsets.back() = bytes;
  return offsets;
}

ColorRun byteRun(const std::vector<std::size_t>& offsets, const Utf16Range& range,
                 const Color& color) {
  const std::size_t start = offsets[range.start];
  return {.start = start, .length = offsets[range.start + range.length] - start, .color = color};
}

}  // namespace

const std::unordered_set<std::string_view>& codeKeywords() {
  static const std::unordered_set<std::string_view> keywords{
      "let",  "var",   "func",  "return", "if",        "else",   "for",       "while",    "import",
      "from", "in",    "const", "def",    "class",     "struct", "enum",      "function", "fn",
      "pub",  "use",   "match", "switch", "case",      "guard",  "true",      "false",    "nil",
      "null", "None",  "new",   "static", "void",      "public", "private",   "async",    "await",
      "try",  "catch", "throw", "type",   "interface", "export", "extension", "protocol", "self",
      "this", "and",   "or",    "not",    "print",     "println"};
  return keywords;
}

StyledText highlightCode(std::string_view text, const Font& font) {
  icu::UnicodeString utf16 = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  // The text engine refuses NUL; swapping it here, one unit for one, keeps
  // every range on the characters it was matched on.
  utf16.findAndReplace(icu::UnicodeString(static_cast<UChar>(0)),
                       icu::UnicodeString(static_cast<UChar>(0xFFFD)));
  StyledText styled{.text = {},
                    .font = font,
                    .color = inkColor,
                    .lineHeightMultiple = 1.0,
                    .kern = 0,
                    .runs = {}};
  utf16.toUTF8String(styled.text);
  const std::vector<std::size_t> offsets = utf8Offsets(utf16);

  for (const Utf16Range& word : identifierRanges(utf16)) {
    const ColorRun run = byteRun(offsets, word, keywordColor);
    if (codeKeywords().contains(std::string_view(styled.text).substr(run.start, run.length))) {
      styled.runs.push_back(run);
    }
  }
  for (const Utf16Range& literal : quotedRanges(utf16)) {
    styled.runs.push_back(byteRun(offsets, literal, stringColor));
  }
  return styled;
}

}  // namespace tamsel
