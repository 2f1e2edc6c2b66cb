// SPDX-License-Identifier: MIT
// Checks every matcher of text/patterns.h against ICU's engine on the same
// text, read from the input three ways: as UTF-8, ill-formed parts repaired;
// as raw UTF-16 units (little-endian), which brings unpaired surrogates; and
// as tokens, one a byte, from the pieces the patterns and ICU's character
// classes turn on, which brings those pieces together far more often.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "require.h"
#include "support/icu_pattern.h"
#include "text/utf8.h"

namespace {

icu::UnicodeString tokens(const uint8_t* data, size_t size) {
  static constexpr std::u16string_view pieces[] = {
      u"---",    u"\n",     u"\r",         u"\r\n",   u" ",      u"\t",     u"\v",     u"\f",
      u"\u0085", u"\u2028", u"\u2029",     u"!",      u"[",      u"]",      u"(",      u")",
      u"<",      u">",      u"\"",         u"'",      u"$1",     u"\\",     u"a",      u"_",
      u"0",      u"for",    u"\u00A0",     u"\u3000", u"\u0301", u"\u00AD", u"\u200D", u"\u0903",
      u"\u0660", u"\u00E9", u"\U0001D400", u"\xD800", u"\xDC00", u"\u00B2", u"\u180E", u"x"};
  icu::UnicodeString text;
  for (size_t i = 0; i < size; ++i) {
    const std::u16string_view piece = pieces[data[i] % std::size(pieces)];
    text.append(piece.data(), static_cast<int32_t>(piece.size()));
  }
  return text;
}

// Texts of at most 1,024 units (-max_len), or tokens of 512 bytes, on
// which ICU, quadratic on some, stays well within its time limit.
void check(const icu::UnicodeString& text) {
  int stopped = 0;
  const std::string name = tamsel::testing::disagreement(text, &stopped);
  require(name.empty(), ("disagreement with ICU: " + name).c_str());
  require(stopped == 0, "ICU stopped at a limit; run with -max_len=1024");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string utf8 =
      tamsel::repairedUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  check(icu::UnicodeString::fromUTF8(utf8));
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  check(icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())));
  check(tokens(data, std::min<size_t>(size, 512)));
  return 0;
}
