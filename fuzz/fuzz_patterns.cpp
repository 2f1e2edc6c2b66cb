// SPDX-License-Identifier: MIT
// Checks every matcher of text/patterns.h against ICU's engine on the same
// text, read from the input twice: as UTF-8, ill-formed parts repaired, and
// as raw UTF-16 units (little-endian), which brings unpaired surrogates.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "require.h"
#include "support/icu_pattern.h"
#include "text/utf8.h"

namespace {

void check(const icu::UnicodeString& text) {
  // ICU's answer is only the pattern's when no limit stopped it; say how
  // often that happens, on a doubling scale to keep the log short.
  static int stopped = 0;
  const int before = stopped;
  const std::string name = tamsel::testing::disagreement(text, &stopped);
  if (stopped > before && (stopped & (stopped - 1)) == 0) {
    std::fprintf(stderr, "ICU stopped at a limit, not compared: %d times\n", stopped);
  }
  require(name.empty(), ("disagreement with ICU: " + name).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string utf8 =
      tamsel::repairedUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  check(icu::UnicodeString::fromUTF8(utf8));
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  check(icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())));
  return 0;
}
