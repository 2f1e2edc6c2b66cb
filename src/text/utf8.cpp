// SPDX-License-Identifier: MIT
#include "text/utf8.h"

#include <cstddef>
#include <cstdint>

namespace tamsel {
namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed sequence at the start of `text`; when there is
// none, the negated length of its maximal subpart (at least 1).
std::ptrdiff_t sequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  std::size_t good = 1;
  for (; good < length && good < text.size(); ++good) {
    const std::uint8_t b = byte(good);
    if (good == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) break;
  }
  return good == length ? static_cast<std::ptrdiff_t>(length) : -static_cast<std::ptrdiff_t>(good);
}

}  // namespace

std::string repairedUtf8(std::string_view bytes) {
  std::string out;
  std::size_t copied = 0;  // bytes before this are in `out`
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (static_cast<std::uint8_t>(bytes[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::ptrdiff_t length = sequenceLength(bytes.substr(at));
    if (length > 0) {
      at += static_cast<std::size_t>(length);
      continue;
    }
    out.append(bytes, copied, at - copied).append(replacementCharacter);
    at += static_cast<std::size_t>(-length);
    copied = at;
  }
  if (copied == 0) return std::string(bytes);
  return out.append(bytes, copied, bytes.size() - copied);
}

}  // namespace tamsel
