// SPDX-License-Identifier: MIT
// Links, images, tags and markers are examples in cases/inline.txt; here is
// what a document's lines cannot hold: line breaks, invisible characters and
// the character limits.
#include "skim/inline.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "skim/text.h"

namespace tamsel {
namespace {

icu::UnicodeString u(const std::string& utf8) {
  return icu::UnicodeString::fromUTF8(utf8);
}
std::string cleaned(const std::string& text) {
  return detail::toUtf8(cleanInline(u(text)));
}
std::string repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(CleanInline, WhiteSpace) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" \t\r\n \u00A0", ""},
      {"a\tb\nc\r\nd\u2028e", "a b c d e"},
      {"a\v\fb\u0085c\x1C", "a b c\x1C"},  // U+001C is no White_Space
      {"\u3000lead\u00A0\u00A0trail\u2009", "lead trail"},
      {"\u200Bword\u200B", "\u200Bword\u200B"},  // neither trimmed nor collapsed
  };
  for (const auto& [text, clean] : cases) EXPECT_EQ(cleaned(text), clean) << text;
}

TEST(CleanInline, CutsAt300CharactersFirst) {
  const std::string kept = repeat("x ", 149) + "yz";  // 300 characters
  EXPECT_EQ(cleaned(kept + "w"), kept);
  // Combining marks do not count as characters of their own.
  const std::string accented = repeat("e\u0301 ", 149) + "yz";
  EXPECT_EQ(cleaned(accented + "w"), accented);
  // An image cut by the limit is no image any more; only its markers go.
  EXPECT_EQ(cleaned(repeat("x ", 146) + "![a_b](b.png)"), repeat("x ", 146) + "![ab](b");
}

struct ClipCase {
  const char* what;
  std::string text;
  int32_t limit;
  std::string clipped;
};

TEST(ClipLongWords, ClipsWordsByCharacters) {
  const std::string family = "👨‍👩‍👧";
  const ClipCase cases[] = {
      {"short text unchanged", "  abcdef ", 9, "  abcdef "},
      {"spaces stay in place", "  abcdef  ghi ", 3, "  ab…  ghi "},
      {"limit of one", "ab c", 1, "… c"},
      {"emoji ZWJ sequences are one character", repeat(family, 4), 3, repeat(family, 2) + "…"},
      {"flags are one character", "🇩🇪🇫🇷🇮🇹🇪🇸", 3, "🇩🇪🇫🇷…"},
      {"CR LF is one character", "a\r\nb\r\nc", 5, "a\r\nb\r\nc"},
      {"a space with a combining mark does not split", "ab \u0301cd", 4, "ab \u0301…"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detail::toUtf8(clipLongWords(u(c.text), c.limit)), c.clipped) << c.what;
  }
}

}  // namespace
}  // namespace tamsel
