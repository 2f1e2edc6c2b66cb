// SPDX-License-Identifier: MIT
#include "skim/decode.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "skim/text.h"
#include "text/patterns.h"

namespace tamsel {
namespace {

// Bytes of `bytes` before its first one above 0x7F, eight at a time.
int32_t asciiPrefixLength(std::string_view bytes) {
  constexpr std::uint64_t highBits = 0x8080808080808080u;
  std::size_t length = 0;
  for (std::uint64_t word = 0; length + sizeof word <= bytes.size(); length += sizeof word) {
    std::memcpy(&word, bytes.data() + length, sizeof word);
    if ((word & highBits) != 0) break;
  }
  while (length < bytes.size() && static_cast<unsigned char>(bytes[length]) < 0x80) ++length;
  return static_cast<int32_t>(length);
}

// Documents are mostly ASCII, which is copied directly; ICU's strict
// conversion takes over at the first other byte.
std::optional<icu::UnicodeString> decodeUtf8Strict(std::string_view bytes) {
  icu::UnicodeString text;
  if (bytes.empty()) return text;
  // Each byte gives at most one UTF-16 unit.
  const auto capacity = static_cast<int32_t>(bytes.size());
  char16_t* buffer = text.getBuffer(capacity);
  if (buffer == nullptr) return std::nullopt;
  const int32_t ascii = asciiPrefixLength(bytes);
  std::copy(bytes.begin(), bytes.begin() + ascii, buffer);
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  if (ascii < capacity) {
    u_strFromUTF8(buffer + ascii, capacity - ascii, &length, bytes.data() + ascii, capacity - ascii,
                  &status);
  }
  text.releaseBuffer(U_SUCCESS(status) ? ascii + length : 0);
  if (U_FAILURE(status)) return std::nullopt;
  return text;
}

enum class ByteOrder { little, big };

std::optional<ByteOrder> byteOrderMark(std::string_view bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const auto first = static_cast<unsigned char>(bytes[0]);
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (first == 0xFF && second == 0xFE) return ByteOrder::little;
  if (first == 0xFE && second == 0xFF) return ByteOrder::big;
  return std::nullopt;
}

std::optional<icu::UnicodeString> decodeUtf16(std::string_view bytes, ByteOrder order) {
  const std::string_view body = bytes.substr(2);
  const auto units = static_cast<int32_t>(body.size() / 2);
  icu::UnicodeString text;
  char16_t* buffer = text.getBuffer(std::max(units, 1));
  if (buffer == nullptr) return std::nullopt;
  for (int32_t i = 0; i < units; ++i) {
    const auto a = static_cast<unsigned char>(body[2 * i]);
    const auto b = static_cast<unsigned char>(body[2 * i + 1]);
    buffer[i] = static_cast<char16_t>(order == ByteOrder::little ? (b << 8) | a : (a << 8) | b);
  }
  int32_t length = units;
  // The byte limit may split the last pair; drop its first half.
  if (length > 0 && U16_IS_LEAD(buffer[length - 1])) --length;
  bool paired = true;
  for (int32_t i = 0; i < length && paired; ++i) {
    if (U16_IS_LEAD(buffer[i])) {
      paired = i + 1 < length && U16_IS_TRAIL(buffer[i + 1]);
      ++i;
    } else if (U16_IS_TRAIL(buffer[i])) {
      paired = false;
    }
  }
  text.releaseBuffer(length);
  if (!paired) return std::nullopt;
  return text;
}

icu::UnicodeString decodeHead(std::string_view head) {
  if (auto text = decodeUtf8Strict(head)) return *std::move(text);
  if (auto order = byteOrderMark(head)) {
    if (auto text = decodeUtf16(head, *order)) return *std::move(text);
  }
  std::string_view current = head;
  for (int attempt = 0; attempt < decodeShortenAttempts && !current.empty(); ++attempt) {
    current.remove_suffix(1);
    if (auto text = decodeUtf8Strict(current)) return *std::move(text);
  }
  return detail::fromUtf8Repairing(head);
}

}  // namespace

icu::UnicodeString decodeText(std::string_view bytes) {
  icu::UnicodeString text = decodeHead(bytes.substr(0, decodeByteLimit));
  if (!text.isEmpty() && text[0] == 0xFEFF) text.remove(0, 1);
  return text;
}

icu::UnicodeString stripFrontMatter(const icu::UnicodeString& text) {
  const int32_t length = frontMatterLength(text);
  return length == 0 ? text : icu::UnicodeString(text, length);
}

}  // namespace tamsel
