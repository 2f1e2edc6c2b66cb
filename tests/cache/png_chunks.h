#pragma once

#include <glib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tamsel::test {

// One PNG chunk: length, type, data and its CRC-32.
inline std::string pngChunk(const std::string& type, const std::string& data) {
  std::string chunk;
  const auto length = static_cast<std::uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((length >> shift) & 0xff);
  chunk += type + data;
  // The walker skips CRCs; a fixed value keeps the helper free of zlib.
  chunk += std::string(4, '\0');
  return chunk;
}

// A PNG's opening: signature, IHDR, then a tEXt chunk per pair, then
// `afterText` (e.g. an IDAT chunk).
inline std::string pngWithText(const std::vector<std::pair<std::string, std::string>>& text,
                               const std::string& afterText) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  png += pngChunk("IHDR", std::string(13, '\1'));
  for (const auto& [key, value] : text) png += pngChunk("tEXt", key + '\0' + value);
  return png + afterText;
}

inline std::string idatChunk() {
  return pngChunk("IDAT", "pixels");
}

}  // namespace tamsel::test
