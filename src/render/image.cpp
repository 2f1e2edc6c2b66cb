#include "render/image.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>

#include "render/cairo_canvas.h"
#include "render/handles.h"

namespace tamsel {
namespace {

// zlib's fastest level with unfiltered rows: a page of flat paper and thin
// lines compresses almost as well as at the default, three times faster.
constexpr int pngCompressionLevel = 1;
constexpr std::size_t maxPngKeyLength = 79;

constexpr Color uncoveredColor{.red = 1, .green = 1, .blue = 1, .alpha = 1};

bool validSide(double side) {
  return std::isfinite(side) && side > 0 && side <= maxImageSide;
}

// tEXt keywords are Latin-1 without control characters and without spaces
// at either end or two in a row.
bool validPngText(const PngText& text) {
  const std::string& key = text.key;
  if (key.empty() || key.size() > maxPngKeyLength || key.front() == ' ' || key.back() == ' ' ||
      key.find("  ") != std::string::npos) {
    return false;
  }
  for (const unsigned char c : key) {
    if (c < 32 || (c > 126 && c < 161)) return false;
  }
  return text.value.find('\0') == std::string::npos;
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

struct PngOutput {
  std::string bytes;
  bool failed = false;
};

void writePngData(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<PngOutput*>(png_get_io_ptr(png));
  if (out->failed) return;
  try {
    out->bytes.append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    out->failed = true;
  }
}

void flushPngData(png_structp) {}

// libpng reports through these; the default handlers print to stderr, and
// the caller alone decides what is said about a failure.
[[noreturn]] void onPngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void onPngWarning(png_structp, png_const_charp) {}

struct PngWriteStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriteStruct() { png_destroy_write_struct(&png, &info); }
};

// Cairo's RGB24 pixel is a native-endian 32-bit word 0x00RRGGBB; PNG wants
// the bytes R, G, B. Converting here is several times cheaper than libpng's
// generic swap-and-strip transforms.
void packRow(const unsigned char* pixels, int width, png_bytep row) {
  for (int x = 0; x < width; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, pixels + 4 * static_cast<std::ptrdiff_t>(x), sizeof pixel);
    row[3 * x] = static_cast<png_byte>(pixel >> 16);
    row[3 * x + 1] = static_cast<png_byte>(pixel >> 8);
    row[3 * x + 2] = static_cast<png_byte>(pixel);
  }
}

// Kept free of objects with destructors: libpng leaves it by longjmp.
bool writePngRows(png_structp png, png_infop info, const unsigned char* pixels, int stride,
                  int width, int height, png_bytep row, png_text* texts, int textCount) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, pngCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  if (textCount > 0) png_set_text(png, info, texts, textCount);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    packRow(pixels + static_cast<std::ptrdiff_t>(y) * stride, width, row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  return true;
}

std::optional<std::string> encodePng(cairo_surface_t* surface,
                                     const std::vector<PngText>& pngText) {
  std::vector<png_text> texts;
  for (const PngText& text : pngText) {
    if (!validPngText(text)) return std::nullopt;
    png_text chunk{};
    chunk.compression = PNG_TEXT_COMPRESSION_NONE;
    chunk.key = const_cast<char*>(text.key.c_str());
    chunk.text = const_cast<char*>(text.value.c_str());
    chunk.text_length = text.value.size();
    texts.push_back(chunk);
  }

  PngWriteStruct writer;
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
  if (!writer.png) return std::nullopt;
  writer.info = png_create_info_struct(writer.png);
  if (!writer.info) return std::nullopt;
  PngOutput output;
  png_set_write_fn(writer.png, &output, writePngData, flushPngData);

  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  std::vector<png_byte> row(3 * static_cast<std::size_t>(width));
  const bool written = writePngRows(writer.png, writer.info, cairo_image_surface_get_data(surface),
                                    cairo_image_surface_get_stride(surface), width,
                                    cairo_image_surface_get_height(surface), row.data(),
                                    texts.data(), static_cast<int>(texts.size()));
  if (!written || output.failed) return std::nullopt;
  return std::move(output.bytes);
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
  return encodePng(surface.get(), pngText);
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
  return renderVector(width, height, paint, format);
}

}  // namespace tamsel
