// SPDX-License-Identifier: MIT
#include "platform/read_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tamsel {
namespace {

constexpr std::size_t firstChunk = 16 * 1024;

}  // namespace

int readUpTo(int fd, std::string& bytes, std::size_t limit) {
  std::size_t filled = bytes.size();
  int error = 0;
  while (filled < limit) {
    // Room grows with what the file turns out to hold, so a small file under
    // a large limit costs no more than its size.
    if (filled == bytes.size()) {
      bytes.resize(std::min(limit, std::max(2 * filled, filled + firstChunk)));
    }
    const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return error;
}

}  // namespace tamsel
