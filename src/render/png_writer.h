// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <span>
#include <string>

namespace tamsel {

// A PNG tEXt chunk. The key is 1 to 79 printable Latin-1 characters without
// leading, trailing or doubled spaces; the value holds no NUL byte.
struct PngText {
  std::string key, value;
};

// Opaque pixels as Cairo's CAIRO_FORMAT_RGB24 keeps them: `height` rows
// `stride` bytes apart, each `width` native-endian 32-bit words 0xXXRRGGBB
// (the top byte is ignored). Not owned.
struct Rgb24Pixels {
  const unsigned char* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// The bytes of an 8-bit RGB PNG of `pixels`, not interlaced: signature,
// IHDR, one tEXt chunk per entry of `text` in order, one IDAT, IEND. Nothing
// is streamed: encoding holds the packed rows (height x (1 + 3 x width)
// bytes), then a little more than as much again for the compressed stream.
// Returns nullopt when a side is not positive, the stride is shorter than a
// row, a tEXt entry is invalid or memory runs out. Safe to call from
// several threads at once.
std::optional<std::string> encodePng(const Rgb24Pixels& pixels, std::span<const PngText> text = {});

}  // namespace tamsel
