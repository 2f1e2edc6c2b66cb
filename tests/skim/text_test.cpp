// SPDX-License-Identifier: MIT
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

// A nested cursor must not take over the iterator the outer one is using.
TEST(Characters, NestedCursorsKeepTheirOwnText) {
  const icu::UnicodeString outer = u("e\u0301e\u0301\u0301\u0301x");
  CharacterCursor first(outer);
  EXPECT_EQ(first.nextBoundary(0), 2);
  EXPECT_EQ(firstCharacters(u("o\u0308o\u0308"), 1), u("o\u0308"));
  EXPECT_EQ(first.nextBoundary(2), 6);
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

}  // namespace
}  // namespace tamsel::detail
