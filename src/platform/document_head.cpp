#include "platform/document_head.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace tamsel {

std::optional<std::string> tryReadDocumentHead(const std::string& path) {
  // O_NONBLOCK keeps open() itself from waiting on a FIFO with no writer; the
  // fstat check below then refuses to read from it at all.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) return {};

  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};

  // Plain reads rather than a mapping: a mapped file that is truncated by
  // someone else turns our next access into SIGBUS.
  std::string bytes(documentHeadLimit, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {};
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::string readDocumentHead(const std::string& path) {
  return tryReadDocumentHead(path).value_or(std::string());
}

int pathLookupError(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? 0 : errno;
}

}  // namespace tamsel
