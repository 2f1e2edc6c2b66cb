// SPDX-License-Identifier: MIT
#include "render/image.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cmath>
#include <string>

#include "render/cairo_canvas.h"
#include "render/handles.h"

namespace tamsel {
namespace {

constexpr Color uncoveredColor{.red = 1, .green = 1, .blue = 1, .alpha = 1};

bool validSide(double side) {
  return std::isfinite(side) && side > 0 && side <= maxImageSide;
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (...) {
    return CAIRO_STATUS_WRITE_ERROR;
  }
}

std::optional<std::string> renderVector(double width, double height,
                                        const std::function<void(Canvas&)>& paint,
                                        ImageFormat format) {
  std::string bytes;
  const double pageWidth = std::ceil(width);
  const double pageHeight = std::ceil(height);
  detail::CairoSurfaceHandle surface(
      format == ImageFormat::svg
          ? cairo_svg_surface_create_for_stream(appendToString, &bytes, pageWidth, pageHeight)
          : cairo_pdf_surface_create_for_stream(appendToString, &bytes, pageWidth, pageHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  const bool ok = paintSurface(surface.get(), height, paint);
  cairo_surface_finish(surface.get());
  if (!ok || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  return bytes;
}

std::optional<std::string> encodePage(cairo_surface_t* surface,
                                      const std::vector<PngText>& pngText) {
  cairo_surface_flush(surface);
  return encodePng({.data = cairo_image_surface_get_data(surface),
                    .width = cairo_image_surface_get_width(surface),
                    .height = cairo_image_surface_get_height(surface),
                    .stride = cairo_image_surface_get_stride(surface)},
                   pngText);
}

std::optional<std::string> renderPng(double width, double height,
                                     const std::function<void(Canvas&)>& paint,
                                     const std::vector<PngText>& pngText) {
  // The page is always opaque, so the alpha-free format saves the
  // un-premultiplying and a quarter of the encoded bytes.
  detail::CairoSurfaceHandle surface(cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  if (!paintSurface(surface.get(), height, paint)) return std::nullopt;
  return encodePage(surface.get(), pngText);
}

// The page's pixels as an in-process host paints them: Cairo's ARGB32 rows,
// packed.
std::optional<std::string> renderArgb32(double width, double height,
                                        const std::function<void(Canvas&)>& paint) {
  const int pixelWidth = static_cast<int>(std::ceil(width));
  const int pixelHeight = static_cast<int>(std::ceil(height));
  detail::CairoSurfaceHandle surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  if (!paintSurface(surface.get(), height, paint)) return std::nullopt;
  cairo_surface_flush(surface.get());
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
  const std::size_t row = static_cast<std::size_t>(pixelWidth) * 4;
  std::string bytes;
  bytes.reserve(row * static_cast<std::size_t>(pixelHeight));
  for (int y = 0; y < pixelHeight; ++y) {
    bytes.append(reinterpret_cast<const char*>(data + static_cast<std::size_t>(y) * stride), row);
  }
  return bytes;
}

}  // namespace

bool paintSurface(cairo_surface_t* surface, double height,
                  const std::function<void(Canvas&)>& paint) {
  detail::CairoHandle cairo(cairo_create(surface));
  cairo_set_source_rgb(cairo.get(), uncoveredColor.red, uncoveredColor.green, uncoveredColor.blue);
  cairo_paint(cairo.get());
  CairoCanvas canvas(cairo.get(), height);
  paint(canvas);
  return cairo_status(cairo.get()) == CAIRO_STATUS_SUCCESS;
}

std::optional<std::string> renderImage(double width, double height,
                                       const std::function<void(Canvas&)>& paint,
                                       ImageFormat format, const std::vector<PngText>& pngText) {
  if (!validSide(width) || !validSide(height)) return std::nullopt;
  if (format == ImageFormat::png) return renderPng(width, height, paint, pngText);
  if (format == ImageFormat::argb32) return renderArgb32(width, height, paint);
  return renderVector(width, height, paint, format);
}

}  // namespace tamsel
