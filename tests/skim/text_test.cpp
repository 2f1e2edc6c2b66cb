#include "skim/text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace tamsel::detail {
namespace {

icu::UnicodeString u(const std::string& utf8) {
  return icu::UnicodeString::fromUTF8(utf8);
}

TEST(Trim, RemovesTabAndSpaceSeparatorsOnly) {
  EXPECT_EQ(trim(u("\t\u00A0\u3000 x y\u2009\u202F")), u("x y"));
  EXPECT_EQ(trim(u("\u200Bx\u200B")), u("\u200Bx\u200B"));
  EXPECT_EQ(trim(u("\nx\r")), u("\nx\r"));
  EXPECT_EQ(trim(u("\u2028x\u0085")), u("\u2028x\u0085"));
  EXPECT_TRUE(isBlank(u("\t \u00A0\u1680")));
  EXPECT_FALSE(isBlank(u("\u200B")));
  EXPECT_FALSE(isBlank(u("\r")));
}

struct CharacterCase {
  const char* what;
  std::string text;
  int32_t count;
  std::string first;
};

TEST(Characters, CountsExtendedGraphemeClusters) {
  const CharacterCase cases[] = {
      {"ASCII", "abc", 2, "ab"},
      {"combining marks", "e\u0301e\u0301e\u0301", 2, "e\u0301e\u0301"},
      {"CR LF", "a\r\nb", 2, "a\r\n"},
      {"CR alone", "a\r\rb", 2, "a\r"},
      {"flags", "🇩🇪🇫🇷🇮🇹", 2, "🇩🇪🇫🇷"},
      {"emoji ZWJ sequence", "👩‍💻👩‍💻", 1, "👩‍💻"},
      {"Hangul syllable from jamo", "\u1100\u1161\u11A8x", 1, "\u1100\u1161\u11A8"},
      {"fewer than asked", "ab", 5, "ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toUtf8(firstCharacters(u(c.text), c.count)), c.first) << c.what;
  }
}

TEST(Characters, PrefixTestsMatchWholeCharacters) {
  EXPECT_TRUE(startsWithCharacters(u("# x"), u"# "));
  EXPECT_FALSE(startsWithCharacters(u("#\u0301 x"), u"#"));
  EXPECT_FALSE(startsWithCharacters(u("# \u0301x"), u"# "));
  EXPECT_FALSE(startsWithCharacters(u("#\u200D"), u"#"));
  EXPECT_TRUE(startsWithCharacters(u("```\u00E9"), u"```"));
  EXPECT_FALSE(startsWithCharacters(u("``"), u"```"));
}

TEST(Characters, NestedCursorsAgree) {
  const icu::UnicodeString outer = u("e\u0301x");
  CharacterCursor first(outer);
  EXPECT_EQ(first.nextBoundary(0), 2);
  EXPECT_EQ(firstCharacters(u("o\u0308o\u0308"), 1), u("o\u0308"));
  EXPECT_EQ(first.nextBoundary(2), 3);
}

// The ASCII shortcuts must give exactly the boundaries of ICU's iterator,
// however the tricky characters are mixed.
TEST(Characters, ShortcutsAgreeWithTheBreakIterator) {
  const std::u16string pieces[] = {u"a",      u" ",      u"#",          u"\r",         u"\n",
                                   u"\u0301", u"\u200D", u"\U0001F469", u"\U0001F1E9", u"\u1100",
                                   u"\u1161", u"\u0600", u"\u0915",     u"\u094D",     u"\uFE0F"};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> reference(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  ASSERT_TRUE(U_SUCCESS(status));
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    icu::UnicodeString text;
    const int length = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      const std::u16string& piece = pieces[random() % std::size(pieces)];
      text.append(piece.data(), static_cast<int32_t>(piece.size()));
    }
    reference->setText(text);
    CharacterCursor cursor(text);
    for (int32_t offset = reference->first(); offset < text.length();) {
      const int32_t next = reference->next();
      ASSERT_EQ(cursor.nextBoundary(offset), next) << toUtf8(text) << " at " << offset;
      offset = next;
    }
    for (int32_t offset = 0; offset <= text.length(); ++offset) {
      ASSERT_EQ(cursor.isBoundary(offset), reference->isBoundary(offset))
          << toUtf8(text) << " at " << offset;
    }
  }
}

TEST(Numeric, FollowsNumericType) {
  for (const char32_t c : {U'0', U'9', U'١', U'५', U'１', U'½', U'Ⅻ', U'²', U'三'}) {
    EXPECT_TRUE(isNumeric(static_cast<UChar32>(c))) << static_cast<uint32_t>(c);
  }
  for (const char32_t c : {U'A', U'.', U' ', U'#', U'x'}) {
    EXPECT_FALSE(isNumeric(static_cast<UChar32>(c))) << static_cast<uint32_t>(c);
  }
}

}  // namespace
}  // namespace tamsel::detail
