// SPDX-License-Identifier: MIT
// Decoding a document's bytes, cleaning and clipping its inline text, and
// walking its characters. The tables are examples in text_cases/*.txt.
#include "skim/text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "skim/decode.h"
#include "skim/inline.h"
#include "support/example_cases.h"

namespace tamsel {
namespace {

using namespace std::string_literals;
using namespace detail;

icu::UnicodeString u(const std::string& utf8) {
  return icu::UnicodeString::fromUTF8(utf8);
}
std::string decoded(const std::string& bytes) {
  return toUtf8(decodeText(bytes));
}
std::string cleaned(const std::string& text) {
  return toUtf8(cleanInline(u(text)));
}
std::string repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

class TextCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(TextCases, MatchesExample) {
  const std::string read = testing::setting(GetParam(), "read");
  testing::expectEachLine(GetParam(), [&](const std::string& line) {
    if (read == "decode") return decoded(line);
    if (read == "clean") return cleaned(line);
    if (read == "trim") return toUtf8(trim(u(line)));
    if (read == "blank") return std::string(isBlank(u(line)) ? "blank" : "not blank");
    return toUtf8(clipLongWords(u(line), std::stoi(read.substr(read.find(' ') + 1))));
  });
}

INSTANTIATE_TEST_SUITE_P(Examples, TextCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/skim/text_cases")),
                         testing::caseName);

TEST(CleanInline, CutsAt300CharactersFirst) {
  const std::string kept = repeat("x ", 149) + "yz";  // 300 characters
  EXPECT_EQ(cleaned(kept + "w"), kept);
  // Combining marks do not count as characters of their own.
  const std::string accented = repeat("e\u0301 ", 149) + "yz";
  EXPECT_EQ(cleaned(accented + "w"), accented);
  // An image cut by the limit is no image any more; only its markers go.
  EXPECT_EQ(cleaned(repeat("x ", 146) + "![a_b](b.png)"), repeat("x ", 146) + "![ab](b");
}

TEST(DecodeText, ReadsOnlyTheFirst64KiB) {
  EXPECT_EQ(decodeText(std::string(100000, 'a')).length(), 65536);
  // Byte 65,536 is the second of "€" (E2 82 AC): the second shortening works.
  const std::string euro = std::string(decodeByteLimit - 2, 'a') + "€ and more";
  EXPECT_EQ(decoded(euro), std::string(decodeByteLimit - 2, 'a'));
  // Three bytes of a four-byte character are left: the third shortening works.
  const std::string emoji = std::string(decodeByteLimit - 3, 'a') + "😀";
  EXPECT_EQ(decoded(emoji), std::string(decodeByteLimit - 3, 'a'));
  // Only one byte-order mark goes; U+FEFF is invisible in a case file.
  EXPECT_EQ(decoded("\xEF\xBB\xBF\xEF\xBB\xBFtext"), "\uFEFFtext");
}

// The rest of the front-matter rules are examples in cases/frontmatter.txt.
TEST(StripFrontMatter, EdgesACaseFileCannotShow) {
  const std::pair<const char*, std::string> cases[] = {
      {"closing fence ends the text", "---\ntitle: A\n---"},
      {"closing fence with CR ends the text", "---\r\ntitle: A\r\n---\r"},
      {"after a UTF-8 byte-order mark", "\xEF\xBB\xBF---\nx\n---\n"},
  };
  for (const auto& [what, bytes] : cases) {
    EXPECT_EQ(stripFrontMatter(decodeText(bytes)), icu::UnicodeString()) << what;
  }
  const std::string beyond = "---\n" + std::string(70000, 'x') + "\n---\nBody";
  EXPECT_TRUE(stripFrontMatter(decodeText(beyond)).startsWith(icu::UnicodeString(u"---\n")))
      << "a closing fence beyond the byte limit closes nothing";
}

// Strict UTF-16 failed when the 64 KiB cut split a surrogate pair (or left
// an odd byte), and the UTF-8 fallback turned the whole document into NULs
// and replacement characters.
TEST(Regression, Utf16CutInsideASurrogatePairFellBackToUtf8) {
  std::string bytes = "\xFF\xFE#\0 \0T\0i\0t\0l\0e\0\n\0"s;
  std::string text = "# Title\n";
  for (; bytes.size() < decodeByteLimit - 2; text += 'a') bytes += "a\0"s;
  EXPECT_EQ(decoded(bytes + "\x3D\xD8\x00\xDE"s), text);
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
}  // namespace tamsel
