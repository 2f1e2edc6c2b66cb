// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a thumbnail already in the shared cache, which
// `--cache` does with whatever lies there before
// deciding to draw: the walk over the text chunks on its own, and the whole
// freshness check on a file in memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "require.h"
#include "service/cache/thumbnail_file.h"

namespace {

using tamsel::PngLeadingText;
using Status = PngLeadingText::Status;

// What the seeds hold, so a walk can get as far as a match.
constexpr std::string_view seedUri = "file:///home/user/notes/README.md";
constexpr std::int64_t seedMtime = 1'700'000'000;

// A file with no name, rewritten for each input; isFreshThumbnail opens it
// by path, as it opens the cache's files.
const std::string& memoryFile(std::string_view bytes) {
  static const int fd = memfd_create("thumbnail", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  require(fd >= 0 && ftruncate(fd, 0) == 0 &&
              pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
          "cannot fill the memory file");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const PngLeadingText whole = tamsel::readPngLeadingText(bytes);
  for (const auto& [key, value] : whole.entries) {
    require(key.find('\0') == std::string::npos, "keyword holds NUL");
    require(key.size() + value.size() < size, "entry longer than the file");
  }

  // The check reads the first bytes, then more only when the walk ran out:
  // a walk over a prefix ends where the whole one does, or runs out.
  const PngLeadingText first =
      tamsel::readPngLeadingText(bytes.substr(0, tamsel::pngTextFirstRead));
  if (first.status == Status::complete) {
    require(whole.status == Status::complete && whole.entries == first.entries,
            "a prefix walks to another end");
  } else if (whole.status != Status::invalid) {
    require(first.status == Status::truncated, "a prefix of a PNG is invalid");
  }

  if (tamsel::isFreshThumbnail(memoryFile(bytes), seedUri, seedMtime)) {
    const PngLeadingText read =
        tamsel::readPngLeadingText(bytes.substr(0, tamsel::pngTextReadLimit));
    require(read.status == Status::complete, "fresh without reaching the image data");
  }
  return 0;
}
