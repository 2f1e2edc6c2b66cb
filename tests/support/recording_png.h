// SPDX-License-Identifier: MIT
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A decoded PNG for pixel checks, rows top to bottom.
namespace tamsel::testing {

struct Rgb {
  int red = 0, green = 0, blue = 0;
};

struct DecodedPng {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xXXRRGGBB, row-major

  Rgb at(int x, int y) const {
    const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
    return {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
            static_cast<int>(p & 0xFF)};
  }
};

// Decodes with Cairo's reader, which is libpng's and not the renderer's own
// encoder; nullopt for anything it cannot read whole, or that is not opaque RGB.
inline std::optional<DecodedPng> decodePng(const std::string& bytes) {
  std::pair<const std::string&, std::size_t> source{bytes, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* out, unsigned int length) {
        auto& [in, at] = *static_cast<std::pair<const std::string&, std::size_t>*>(closure);
        if (in.size() - at < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(out, in.data() + at, length);
        at += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &source);
  std::optional<DecodedPng> decoded;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24) {
    DecodedPng page{.width = cairo_image_surface_get_width(surface),
                    .height = cairo_image_surface_get_height(surface),
                    .pixels = {}};
    for (int y = 0; y < page.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(
          cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface));
      page.pixels.insert(page.pixels.end(), row, row + page.width);
    }
    decoded = std::move(page);
  }
  cairo_surface_destroy(surface);
  return decoded;
}

}  // namespace tamsel::testing
