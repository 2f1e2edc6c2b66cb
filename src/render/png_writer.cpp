// SPDX-License-Identifier: MIT
#include "render/png_writer.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "render/handles.h"
#include "render/png_format.h"

namespace tamsel {
namespace {

using png::chunkLengthLimit;
using png::chunkLengthSize;
using png::chunkOverhead;
using png::chunkTypeSize;
using png::signature;

constexpr std::size_t maxKeyLength = 79;

constexpr std::size_t headerSize = 13;
constexpr unsigned char bitDepth = 8;
constexpr unsigned char colorTypeRgb = 2;
constexpr std::size_t bytesPerPixel = 3;

// Rows go in unfiltered: the page's repeated rows are long matches as they
// are. Filtering each row against the one above ("Up") made the samples'
// files a quarter larger and encoding a fifth slower.
constexpr unsigned char rowFilterNone = 0;

// libdeflate's fastest level: on the sample pages level 6 saves a tenth of
// the bytes, under a kilobyte a page, for twice the work.
constexpr int compressionLevel = 1;

// tEXt keywords are Latin-1 without control characters and without spaces
// at either end or two in a row.
bool validText(const PngText& text) {
  const std::string& key = text.key;
  if (key.empty() || key.size() > maxKeyLength || key.front() == ' ' || key.back() == ' ' ||
      key.find("  ") != std::string::npos) {
    return false;
  }
  for (const unsigned char c : key) {
    if (c < 32 || (c > 126 && c < 161)) return false;
  }
  return text.value.find('\0') == std::string::npos &&
         text.value.size() < chunkLengthLimit - key.size();
}

void putBigEndian32(char* at, std::uint32_t value) {
  at[0] = static_cast<char>(value >> 24);
  at[1] = static_cast<char>(value >> 16);
  at[2] = static_cast<char>(value >> 8);
  at[3] = static_cast<char>(value);
}

void appendBigEndian32(std::string& out, std::uint32_t value) {
  char bytes[4];
  putBigEndian32(bytes, value);
  out.append(bytes, sizeof bytes);
}

// Ends the chunk whose length field starts at `start` and whose data runs
// to the end of `out`: fills in the length and appends the CRC of type and
// data.
void closeChunk(std::string& out, std::size_t start) {
  const std::size_t typeAt = start + chunkLengthSize;
  putBigEndian32(out.data() + start,
                 static_cast<std::uint32_t>(out.size() - typeAt - chunkTypeSize));
  appendBigEndian32(out, libdeflate_crc32(0, out.data() + typeAt, out.size() - typeAt));
}

std::size_t openChunk(std::string& out, std::string_view type) {
  const std::size_t start = out.size();
  out.append(chunkLengthSize, '\0');
  out.append(type);
  return start;
}

// The IDAT stream before compression: each row is a filter type byte, then
// its pixels as R, G, B bytes.
std::unique_ptr<unsigned char[]> packRows(const Rgb24Pixels& pixels, std::size_t rowSize) {
  auto rows = std::make_unique_for_overwrite<unsigned char[]>(rowSize * pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    const unsigned char* in = pixels.data + static_cast<std::ptrdiff_t>(y) * pixels.stride;
    unsigned char* out = rows.get() + rowSize * y;
    *out++ = rowFilterNone;
    for (int x = 0; x < pixels.width; ++x, in += 4, out += bytesPerPixel) {
      std::uint32_t pixel;
      std::memcpy(&pixel, in, sizeof pixel);
      out[0] = static_cast<unsigned char>(pixel >> 16);
      out[1] = static_cast<unsigned char>(pixel >> 8);
      out[2] = static_cast<unsigned char>(pixel);
    }
  }
  return rows;
}

// One per thread and kept: a new compressor's tables would be paged in
// afresh for every image.
libdeflate_compressor* threadCompressor() {
  thread_local const detail::DeflateCompressorHandle compressor(
      libdeflate_alloc_compressor(compressionLevel));
  return compressor.get();
}

}  // namespace

std::optional<std::string> encodePng(const Rgb24Pixels& pixels, std::span<const PngText> text) {
  if (!pixels.data || pixels.width <= 0 || pixels.height <= 0 || pixels.stride < 4 * pixels.width) {
    return std::nullopt;
  }
  std::size_t textSize = 0;
  for (const PngText& entry : text) {
    if (!validText(entry)) return std::nullopt;
    textSize += chunkOverhead + entry.key.size() + 1 + entry.value.size();
  }
  libdeflate_compressor* compressor = threadCompressor();
  if (!compressor) return std::nullopt;

  try {
    const std::size_t rowSize = 1 + bytesPerPixel * static_cast<std::size_t>(pixels.width);
    const std::size_t rawSize = rowSize * static_cast<std::size_t>(pixels.height);
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, rawSize);
    // Compressed apart rather than into the string: growing the string to
    // the bound would first zero ten times the bytes the page needs.
    const auto compressed = std::make_unique_for_overwrite<unsigned char[]>(bound);
    const std::size_t compressedSize = libdeflate_zlib_compress(
        compressor, packRows(pixels, rowSize).get(), rawSize, compressed.get(), bound);
    if (compressedSize == 0 || compressedSize > chunkLengthLimit) return std::nullopt;

    std::string png;
    png.reserve(signature.size() + chunkOverhead + headerSize + textSize + chunkOverhead +
                compressedSize + chunkOverhead);
    png.append(signature);

    std::size_t chunk = openChunk(png, "IHDR");
    appendBigEndian32(png, static_cast<std::uint32_t>(pixels.width));
    appendBigEndian32(png, static_cast<std::uint32_t>(pixels.height));
    // Bit depth, colour type, then deflate, adaptive filtering, no interlace.
    png += {static_cast<char>(bitDepth), static_cast<char>(colorTypeRgb), 0, 0, 0};
    closeChunk(png, chunk);

    for (const PngText& entry : text) {
      chunk = openChunk(png, "tEXt");
      png += entry.key;
      png += '\0';
      png += entry.value;
      closeChunk(png, chunk);
    }

    chunk = openChunk(png, "IDAT");
    png.append(reinterpret_cast<const char*>(compressed.get()), compressedSize);
    closeChunk(png, chunk);

    closeChunk(png, openChunk(png, "IEND"));
    return png;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace tamsel
