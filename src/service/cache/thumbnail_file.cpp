// SPDX-License-Identifier: MIT
#include "service/cache/thumbnail_file.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <system_error>

#include "platform/handle.h"
#include "platform/read_file.h"
#include "platform/replacement_file.h"
#include "platform/unique_fd.h"
#include "render/png_format.h"

namespace tamsel {
namespace {

constexpr mode_t directoryMode = 0700;
constexpr mode_t thumbnailMode = 0600;

using png::chunkCrcSize;
using png::chunkHeaderSize;
using png::chunkLengthLimit;

std::uint32_t bigEndian32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

std::optional<std::int64_t> parseSeconds(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string environmentCacheHome() {
  // The base-directory rules ignore a relative value; GLib's own accessor is
  // not used because it caches the first answer for the life of the process.
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return std::string(home) + "/.cache";
  return std::string(g_get_home_dir()) + "/.cache";
}

std::string thumbnailsRoot(const std::string& cacheHome) {
  return cacheHome + "/thumbnails";
}

std::string thumbnailDirectory(const std::string& cacheHome, CacheFlavor flavor) {
  return thumbnailsRoot(cacheHome) + "/" + std::string(flavorName(flavor));
}

int makeThumbnailDirectory(const std::string& directory) {
  if (g_mkdir_with_parents(directory.c_str(), directoryMode) != 0) return errno;
  return 0;
}

std::optional<std::string> fileUriOf(const std::string& absolutePath) {
  const detail::GCharsHandle uri(g_filename_to_uri(absolutePath.c_str(), nullptr, nullptr));
  if (!uri) return std::nullopt;
  return std::string(uri.get());
}

std::string thumbnailFileName(std::string_view uri) {
  const detail::GCharsHandle digest(
      g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.data(), static_cast<gssize>(uri.size())));
  return std::string(digest.get()) + ".png";
}

PngLeadingText readPngLeadingText(std::string_view bytes) {
  PngLeadingText result;
  if (!bytes.starts_with(png::signature)) {
    result.status = bytes.size() < png::signature.size() && png::signature.starts_with(bytes)
                        ? PngLeadingText::Status::truncated
                        : PngLeadingText::Status::invalid;
    return result;
  }
  std::size_t at = png::signature.size();
  while (true) {
    if (bytes.size() - at < chunkHeaderSize) {
      result.status = PngLeadingText::Status::truncated;
      return result;
    }
    const std::uint32_t length = bigEndian32(bytes.substr(at));
    const std::string_view type = bytes.substr(at + png::chunkLengthSize, png::chunkTypeSize);
    if (length > chunkLengthLimit) {
      result.status = PngLeadingText::Status::invalid;
      return result;
    }
    if (type == "IDAT" || type == "IEND") {
      result.status = PngLeadingText::Status::complete;
      return result;
    }
    const std::size_t dataAt = at + chunkHeaderSize;
    if (bytes.size() - dataAt < std::size_t{length} + chunkCrcSize) {
      result.status = PngLeadingText::Status::truncated;
      return result;
    }
    if (type == "tEXt") {
      const std::string_view data = bytes.substr(dataAt, length);
      const auto nul = data.find('\0');
      if (nul != std::string_view::npos) {
        result.entries.emplace_back(std::string(data.substr(0, nul)),
                                    std::string(data.substr(nul + 1)));
      }
    }
    at = dataAt + length + chunkCrcSize;
  }
}

bool isFreshThumbnail(const std::string& thumbnailPath, std::string_view uri, std::int64_t mtime) {
  const UniqueFd fd(::open(thumbnailPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return false;

  std::string bytes;
  if (readUpTo(fd.get(), bytes, pngTextFirstRead) != 0) return false;
  PngLeadingText text = readPngLeadingText(bytes);
  if (text.status == PngLeadingText::Status::truncated && bytes.size() == pngTextFirstRead) {
    if (readUpTo(fd.get(), bytes, pngTextReadLimit) != 0) return false;
    text = readPngLeadingText(bytes);
  }
  if (text.status != PngLeadingText::Status::complete) return false;

  bool uriMatches = false;
  bool mtimeMatches = false;
  for (const auto& [key, value] : text.entries) {
    if (key == "Thumb::URI") uriMatches = value == uri;
    if (key == "Thumb::MTime") mtimeMatches = parseSeconds(value) == mtime;
  }
  return uriMatches && mtimeMatches;
}

int writeThumbnailFile(const std::string& directory, const std::string& fileName,
                       std::string_view png) {
  ReplacementFile file(directory + "/" + fileName, thumbnailMode);
  if (const int error = file.open()) return error;
  return file.commit(png);
}

}  // namespace tamsel
