#include "platform/read_file.h"

#include <unistd.h>

#include <cerrno>

namespace tamsel {

int readUpTo(int fd, std::string& bytes, std::size_t limit) {
  std::size_t filled = bytes.size();
  if (filled >= limit) return 0;
  bytes.resize(limit);
  int error = 0;
  while (filled < limit) {
    const ssize_t got = ::read(fd, bytes.data() + filled, limit - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return error;
}

}  // namespace tamsel
