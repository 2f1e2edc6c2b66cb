// SPDX-License-Identifier: MIT
#pragma once

#include <cairo.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "render/canvas.h"
#include "render/png_writer.h"

namespace tamsel {

enum class ImageFormat {
  png,
  svg,
  pdf,
  argb32,  // Cairo's premultiplied ARGB32 words, native-endian, rows width * 4 bytes apart
};

// Largest side, in pixels (points for SVG and PDF), of an image renderImage
// makes; 16384 x 16384 x 4 bytes is already 1 GiB of pixels.
constexpr double maxImageSide = 16384;

// Paints with `paint` on a page of ceil(width) x ceil(height) pixels (points
// for SVG/PDF) and returns the encoded file's bytes, or for argb32 the
// pixels themselves, rows packed without padding. The canvas handed to
// `paint` is y-up with its origin at the page's lower left and is `height`
// tall, so Rect{0, 0, width, height} is the page; pixels left uncovered are
// white. PNG is opaque 8-bit RGB with `pngText` as tEXt chunks (ignored for
// other formats). Returns nullopt when a side is not finite and positive,
// exceeds maxImageSide, a tEXt chunk is invalid, Cairo fails or memory runs
// out.
// Safe to call from several threads at once.
std::optional<std::string> renderImage(double width, double height,
                                       const std::function<void(Canvas&)>& paint,
                                       ImageFormat format = ImageFormat::png,
                                       const std::vector<PngText>& pngText = {});

// Paints on `surface`, a Cairo surface the caller owns, as renderImage paints
// its pages: the whole surface white, then `paint` on a y-up canvas `height`
// points tall whose origin is the surface's lower left. So a surface of the
// same pixel size gets the same pixels as renderImage's PNG. The caller
// flushes or finishes the surface before reading it. False when Cairo fails.
bool paintSurface(cairo_surface_t* surface, double height,
                  const std::function<void(Canvas&)>& paint);

}  // namespace tamsel
