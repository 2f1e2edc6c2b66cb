// SPDX-License-Identifier: MIT
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A decoded PNG for pixel checks: 8-bit RGB, rows top to bottom.
namespace tamsel::testing {

struct Rgb {
  int red = 0, green = 0, blue = 0;
};

struct DecodedPng {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;                       // RGB, row-major
  std::vector<std::pair<std::string, std::string>> text;  // tEXt key and value, in file order

  Rgb at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
};

namespace detail {

struct PngSource {
  const std::string& bytes;
  std::size_t at = 0;
};

inline void readPngBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->bytes.size() - source->at < length) png_error(png, "truncated");
  std::memcpy(out, source->bytes.data() + source->at, length);
  source->at += length;
}

// Anything libpng would only warn about is a fault in what the renderer wrote.
inline void failOnWarning(png_structp png, png_const_charp message) {
  png_error(png, message);
}

struct PngReadStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadStruct() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Kept free of objects with destructors: libpng leaves it by longjmp.
inline bool readPng(png_structp png, png_infop info, DecodedPng& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  // A bad CRC in any chunk, text included, fails the read.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_read_info(png, info);
  if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8 ||
      png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
    return false;
  }
  out.width = static_cast<int>(png_get_image_width(png, info));
  out.height = static_cast<int>(png_get_image_height(png, info));
  out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y) {
    png_read_row(png, out.pixels.data() + static_cast<std::size_t>(y) * out.width * 3, nullptr);
  }
  png_read_end(png, info);
  png_textp text = nullptr;
  const int count = png_get_text(png, info, &text, nullptr);
  for (int i = 0; i < count; ++i) out.text.emplace_back(text[i].key, text[i].text);
  return true;
}

}  // namespace detail

// Decodes an 8-bit RGB, non-interlaced PNG with libpng, checking every CRC
// and the zlib stream; nullopt for anything else or any fault libpng finds.
inline std::optional<DecodedPng> decodePng(const std::string& bytes) {
  detail::PngReadStruct reader;
  reader.png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, detail::failOnWarning);
  if (!reader.png) return std::nullopt;
  reader.info = png_create_info_struct(reader.png);
  if (!reader.info) return std::nullopt;
  detail::PngSource source{.bytes = bytes};
  png_set_read_fn(reader.png, &source, detail::readPngBytes);
  DecodedPng decoded;
  if (!detail::readPng(reader.png, reader.info, decoded)) return std::nullopt;
  return decoded;
}

}  // namespace tamsel::testing
