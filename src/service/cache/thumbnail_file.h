// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/cache/cache_options.h"

namespace tamsel {

// The cache root named by the environment: $XDG_CACHE_HOME when it is set and
// absolute, else $HOME/.cache. Read afresh on every call.
std::string environmentCacheHome();

// CACHE_HOME/thumbnails, where every flavor and failure record lives.
std::string thumbnailsRoot(const std::string& cacheHome);

// CACHE_HOME/thumbnails/FLAVOR, the directory of one flavor's thumbnails.
std::string thumbnailDirectory(const std::string& cacheHome, CacheFlavor flavor);

// Creates `directory` and its missing parents with mode 0700, as the shared
// cache wants them private; an existing directory is left as it is. 0 on
// success, else an errno.
int makeThumbnailDirectory(const std::string& directory);

// The file URI of an absolute path, each byte outside the URI-safe set
// percent-encoded ("/a/b c.md" gives "file:///a/b%20c.md"). nullopt for a
// relative path. Thread-safe.
std::optional<std::string> fileUriOf(const std::string& absolutePath);

// The name a thumbnail of `uri` has in the cache: the lower-case hex MD5 of
// the URI's bytes, then ".png". Thread-safe.
std::string thumbnailFileName(std::string_view uri);

// The tEXt chunks of a PNG that come before its image data, as (keyword,
// text) pairs in file order.
struct PngLeadingText {
  enum class Status {
    complete,   // the walk reached IDAT or IEND
    truncated,  // the bytes end inside the chunks before the image data
    invalid,    // no PNG signature, or a chunk length no PNG can have
  };
  Status status = Status::invalid;
  std::vector<std::pair<std::string, std::string>> entries;
};

// Walks the chunks of the PNG whose first bytes are `bytes`, without checking
// CRCs or decoding anything. Pure; cost linear in the bytes before IDAT.
PngLeadingText readPngLeadingText(std::string_view bytes);

// Whether the thumbnail at `thumbnailPath` is a PNG whose Thumb::URI is `uri`
// and whose Thumb::MTime is `mtime` (whole seconds), so it still shows the
// file as it is. Reads only the chunks before the image data, at most
// pngTextReadLimit bytes. False for a missing, unreadable or foreign file.
bool isFreshThumbnail(const std::string& thumbnailPath, std::string_view uri, std::int64_t mtime);

// The bytes read for the text chunks in one go: room for a PNG header and the
// thumbnail keys of a path of a few hundred bytes.
constexpr std::size_t pngTextFirstRead = 4096;
// The most read before giving up: a URI of PATH_MAX (4,096) bytes, each byte
// percent-encoded, fits with room to spare.
constexpr std::size_t pngTextReadLimit = 65'536;

// Writes `png` as `directory`/`fileName`, mode 0600, through a temporary file
// in the same directory renamed into place, so a reader never sees a partial
// thumbnail. 0 on success, else an errno (nothing is left behind then).
int writeThumbnailFile(const std::string& directory, const std::string& fileName,
                       std::string_view png);

}  // namespace tamsel
