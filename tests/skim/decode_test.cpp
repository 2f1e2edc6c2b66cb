// SPDX-License-Identifier: MIT
#include "skim/decode.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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
      {"the last two bytes go (second shortening)", "abc\xFFx", "abc"},
      {"three shortenings fail, repair", "abc\xFFxyz", "abc\uFFFDxyz"},
      {"one bad byte shortens to nothing", "\xFF", ""},
      {"three bad bytes shorten to nothing", "\xC3\xFF\xFF", ""},
      {"four bad bytes are repaired", "\xFF\xFF\xFF\xFF", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"one U+FFFD per maximal subpart", "a\xE2\x82wxyz", "a\uFFFDwxyz"},
      {"non-shortest forms are ill-formed", "\xC0\xAFwxyz", "\uFFFD\uFFFDwxyz"},
      {"encoded surrogates are ill-formed", "\xED\xA0\x80wxyz", "\uFFFD\uFFFD\uFFFDwxyz"},
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
  // Byte 65,536 is the second of "€" (E2 82 AC): the second shortening works.
  const std::string euro = std::string(decodeByteLimit - 2, 'a') + "€ and more";
  EXPECT_EQ(decoded(euro), std::string(decodeByteLimit - 2, 'a'));
  // Three bytes of a four-byte character are left: the third shortening works.
  const std::string emoji = std::string(decodeByteLimit - 3, 'a') + "😀";
  EXPECT_EQ(decoded(emoji), std::string(decodeByteLimit - 3, 'a'));
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

}  // namespace
}  // namespace tamsel
