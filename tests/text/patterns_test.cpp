// SPDX-License-Identifier: MIT
// The hand-written matchers against ICU's engine on the texts of
// pattern_corners.txt and on every code point; fuzz_patterns compares them
// on arbitrary texts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/icu_pattern.h"

namespace tamsel {
namespace {

using testing::disagreement;

TEST(PatternsTest, AgreeWithIcuOnCorners) {
  std::ifstream in(TAMSEL_SOURCE_DIR "/tests/text/pattern_corners.txt");
  ASSERT_TRUE(in);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(line).unescape();
    int stopped = 0;
    EXPECT_EQ(disagreement(text, &stopped), "") << line;
    EXPECT_EQ(stopped, 0) << line;
  }
}

// Each code point where the matchers classify it: in a space run, after a
// word ("a" c: a boundary unless c is a word or combining character), and
// before one (c "a": a boundary unless c is a word character that is not
// combining).
TEST(PatternsTest, ClassifyEveryCodePointAsIcu) {
  constexpr UChar32 block = 0x1000;
  for (UChar32 first = 0; first <= 0x10FFFF; first += block) {
    icu::UnicodeString text;
    for (UChar32 c = first; c < first + block; ++c) {
      text.append(u'a').append(c).append(u' ').append(c).append(u"a\n");
    }
    int stopped = 0;
    EXPECT_EQ(disagreement(text, &stopped), "") << "in U+" << std::hex << first << "...";
    EXPECT_EQ(stopped, 0);
  }
}

}  // namespace
}  // namespace tamsel
