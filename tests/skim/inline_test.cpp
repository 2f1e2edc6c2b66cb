#include "skim/inline.h"

#include <gtest/gtest.h>

#include <string>

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

struct CleanCase {
  const char* what;
  std::string text;
  std::string clean;
};

TEST(CleanInline, ReducesMarkdownToPlainText) {
  const CleanCase cases[] = {
      {"empty", "", ""},
      {"white space only", " \t\r\n \u00A0", ""},
      {"an image alone", "![alt](a.png)", ""},
      {"an image then words", "![alt](a.png) words", "words"},
      {"a link in strong emphasis", "**[guide](file:///tmp/guide.md)**", "guide"},
      {"a link with empty text", "see [](x) here", "see here"},
      {"a target with parentheses", "[text](a(b)c)", "textc)"},
      {"link text is verbatim", "[co$t \\1 $1](x)", "co$t \\1 $1"},
      {"reference links stay", "[text][ref] and [bare]", "[text][ref] and [bare]"},
      {"an autolink goes", "<https://example.org> x", "x"},
      {"a comment goes", "<!-- note --> x", "x"},
      {"a lone < stays", "a < b", "a < b"},
      {"underscores inside words go", "snake_case_name", "snakecasename"},
      {"a backslash is no escape", "\\*not emphasis\\*", "\\not emphasis\\"},
      {"tildes go in pairs", "a ~ b ~~c~~ ~~~", "a ~ b c ~"},
      {"code markers go", "run `make` now", "run make now"},
      {"line breaks and tabs are spaces", "a\tb\nc\r\nd\u2028e", "a b c d e"},
      {"vertical tab, form feed and NEL are white space; U+001C is not", "a\v\fb\u0085c\x1C",
       "a b c\x1C"},
      {"Zs is trimmed and collapsed", "\u3000lead\u00A0\u00A0trail\u2009", "lead trail"},
      {"U+200B is neither trimmed nor collapsed", "\u200Bword\u200B", "\u200Bword\u200B"},
      {"a word of 28 stays", repeat("w", 28), repeat("w", 28)},
      {"a word of 29 is clipped", "a " + repeat("w", 29), "a " + repeat("w", 27) + "…"},
  };
  for (const auto& c : cases) EXPECT_EQ(cleaned(c.text), c.clean) << c.what;
}

TEST(CleanInline, CutsAt300CharactersFirst) {
  const std::string kept = repeat("x ", 149) + "yz";  // 300 characters
  EXPECT_EQ(cleaned(kept), kept);
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

TEST(FlushParagraph, JoinsCleansAndAlwaysEmptiesTheLines) {
  std::vector<MarkdownSkim::Block> blocks;
  std::vector<icu::UnicodeString> lines = {u("one"), u("two")};
  flushParagraph(lines, blocks);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].kind(), MarkdownSkim::Block::Kind::body);
  EXPECT_EQ(blocks[0].text(), "one two");
  EXPECT_TRUE(lines.empty());

  lines = {u("![only](an image.png)"), u("\t")};
  flushParagraph(lines, blocks);
  EXPECT_EQ(blocks.size(), 1u);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace tamsel
