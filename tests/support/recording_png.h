#pragma once

#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A decoded PNG for pixel checks: 8-bit RGB, rows top to bottom.
namespace tamsel::testing {

struct Rgb {
  int red = 0, green = 0, blue = 0;
};

struct DecodedPng {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // RGB, row-major

  Rgb at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
};

inline std::optional<DecodedPng> decodePng(const std::string& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
  image.format = PNG_FORMAT_RGB;
  DecodedPng decoded{.width = static_cast<int>(image.width),
                     .height = static_cast<int>(image.height),
                     .pixels = std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return decoded;
}

}  // namespace tamsel::testing
