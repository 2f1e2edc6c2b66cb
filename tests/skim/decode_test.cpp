#include "skim/decode.h"

#include <gtest/gtest.h>

#include <string>

#include "skim/text.h"

namespace tamsel {
namespace {

using namespace std::string_literals;

std::string decoded(const std::string& bytes) {
  return detail::toUtf8(decodeText(bytes));
}

struct DecodeCase {
  const char* what;
  std::string bytes;
  std::string text;
};

TEST(DecodeText, TriesEachStepInOrder) {
  const DecodeCase cases[] = {
      {"empty bytes", "", ""},
      {"strict UTF-8 keeps NUL bytes", "a\0b"s, "a\0b"s},
      {"a stray last byte goes (first shortening)", "abc\xFF", "abc"},
      {"the last two bytes go (second shortening)",
       "abc\xFF"
       "d",
       "abc"},
      {"three shortenings fail, repair",
       "abc\xFF"
       "def",
       "abc\uFFFD"
       "def"},
      {"one bad byte shortens to nothing", "\xFF", ""},
      {"three bad bytes shorten to nothing", "\xC3\xFF\xFF", ""},
      {"four bad bytes are repaired", "\xFF\xFF\xFF\xFF", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"one U+FFFD per maximal subpart",
       "a\xE2\x82"
       "bcde",
       "a\uFFFD"
       "bcde"},
      {"non-shortest forms are ill-formed",
       "\xC0\xAF"
       "abcd",
       "\uFFFD\uFFFD"
       "abcd"},
      {"encoded surrogates are ill-formed",
       "\xED\xA0\x80"
       "abcd",
       "\uFFFD\uFFFD\uFFFD"
       "abcd"},
      {"UTF-16LE after FF FE", "\xFF\xFEh\0i\0"s, "hi"},
      {"UTF-16BE after FE FF", "\xFE\xFF\0h\0i"s, "hi"},
      {"UTF-16 surrogate pairs", "\xFF\xFE\x3D\xD8\x00\xDE"s, "\U0001F600"},
      {"UTF-16 drops a trailing odd byte", "\xFF\xFEh\0i"s, "h"},
      {"UTF-16 drops a trailing lead surrogate", "\xFF\xFEh\0\x3D\xD8"s, "h"},
      {"UTF-16 with an unpaired surrogate falls back to UTF-8 repair", "\xFF\xFEh\0\0\xDCi\0"s,
       "\uFFFD\uFFFDh\0\0\uFFFDi\0"s},
      {"UTF-16 without a byte-order mark is UTF-8", "h\0i\0"s, "h\0i\0"s},
      {"a UTF-8 byte-order mark is removed", "\xEF\xBB\xBFtext", "text"},
      {"only one U+FEFF is removed", "\xEF\xBB\xBF\xEF\xBB\xBFtext", "\uFEFFtext"},
      {"a UTF-16 byte-order mark character is removed too", "\xFF\xFE\xFF\xFEh\0"s, "h"},
  };
  for (const auto& c : cases) EXPECT_EQ(decoded(c.bytes), c.text) << c.what;
}

TEST(DecodeText, ReadsOnlyTheFirst64KiB) {
  EXPECT_EQ(decodeText(std::string(100000, 'a')).length(), 65536);
  EXPECT_EQ(decodeText(std::string(decodeByteLimit, 'a')).length(), 65536);
}

TEST(DecodeText, LimitInsideACharacterDropsThatCharacter) {
  // Byte 65,536 is the second of "€" (E2 82 AC): the second shortening works.
  const std::string euro = std::string(decodeByteLimit - 2, 'a') + "€ and more";
  EXPECT_EQ(decoded(euro), std::string(decodeByteLimit - 2, 'a'));
  // Three bytes of a four-byte character are left: the third shortening works.
  const std::string emoji = std::string(decodeByteLimit - 3, 'a') + "😀";
  EXPECT_EQ(decoded(emoji), std::string(decodeByteLimit - 3, 'a'));
}

struct FrontMatterCase {
  const char* what;
  std::u16string text;
  std::u16string after;
};

TEST(StripFrontMatter, RemovesOnlyALeadingClosedBlock) {
  const FrontMatterCase cases[] = {
      {"LF", u"---\ntitle: A\n---\n# Heading\n", u"# Heading\n"},
      {"CR LF, no final line end", u"---\r\ntitle: A\r\n---\r\nBody", u"Body"},
      {"closing fence ends the text", u"---\ntitle: A\n---", u""},
      {"never closed", u"---\ntitle: A\n", u"---\ntitle: A\n"},
      {"empty block", u"---\n\n---\nBody", u"Body"},
      {"fence right after fence", u"---\n---\nBody", u"---\n---\nBody"},
      {"'--- y' is no closing fence", u"---\nx\n--- y\n---\nrest\n", u"rest\n"},
      {"four hyphens open nothing", u"----\nx\n---\nrest", u"----\nx\n---\nrest"},
      {"blank lines after it stay", u"---\nx\n---\n\n\nafter\n", u"\n\nafter\n"},
      {"trailing spaces and tabs", u"---  \nx\n---\t\nrest", u"rest"},
      {"leading space is no fence", u" ---\nx\n---\nrest", u" ---\nx\n---\nrest"},
      {"not at the start", u"intro\n---\nx\n---\n", u"intro\n---\nx\n---\n"},
  };
  for (const auto& c : cases) {
    const icu::UnicodeString text(c.text.data(), static_cast<int32_t>(c.text.size()));
    const icu::UnicodeString after(c.after.data(), static_cast<int32_t>(c.after.size()));
    EXPECT_EQ(stripFrontMatter(text), after) << c.what;
  }
}

TEST(StripFrontMatter, ByteOrderMarkAndBlockBothGo) {
  EXPECT_EQ(stripFrontMatter(decodeText("\xEF\xBB\xBF---\nx\n---\nBody")),
            icu::UnicodeString(u"Body"));
}

TEST(StripFrontMatter, ClosingFenceBeyondTheLimitKeepsTheBlock) {
  const std::string bytes = "---\n" + std::string(70000, 'x') + "\n---\nBody";
  EXPECT_TRUE(stripFrontMatter(decodeText(bytes)).startsWith(icu::UnicodeString(u"---\n")));
}

}  // namespace
}  // namespace tamsel
