// SPDX-License-Identifier: MIT
#include "platform/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace tamsel {
namespace {

constexpr mode_t replacementMode = 0644;

// A fixed short name, not one derived from the target's: a target name near
// NAME_MAX plus a suffix would not fit.
constexpr char tempTemplate[] = ".tamsel-XXXXXX";

mode_t currentUmask() {
  // /proc reports it without changing it; the fallback briefly changes it,
  // which is only safe while no other thread creates files.
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      std::string octal;
      status >> octal;
      return static_cast<mode_t>(std::strtoul(octal.c_str(), nullptr, 8));
    }
    status.ignore(4096, '\n');
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

// openToFill's answer when the path is no empty file: it is replaced instead.
constexpr int notToFill = -1;

bool isEmptyFile(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_size == 0;
}

}  // namespace

std::string replacementDirectory(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

ReplacementFile::~ReplacementFile() {
  discard();
}

void ReplacementFile::discard() {
  fd_.reset();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

int ReplacementFile::openToFill() {
  struct stat info {};
  if (::lstat(path_.c_str(), &info) != 0 || !isEmptyFile(info)) return notToFill;
  // O_NONBLOCK: should it have become a FIFO since, opening must not wait
  // for a reader.
  UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  // An empty file we may not write is its owner's: refused, not replaced.
  if (!fd) return errno == ELOOP || errno == ENXIO ? notToFill : errno;
  if (::fstat(fd.get(), &info) != 0 || !isEmptyFile(info)) return notToFill;
  fd_ = std::move(fd);
  filling_ = true;
  return 0;
}

int ReplacementFile::open() {
  if (path_.empty()) return ENOENT;
  if (path_.back() == '/') return EISDIR;
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return EISDIR;
  if (empty_ == EmptyFile::fill) {
    if (const int filled = openToFill(); filled != notToFill) return filled;
  }

  std::string temp = replacementDirectory(path_) + "/" + tempTemplate;
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) return errno;
  tempPath_ = std::move(temp);
  fd_ = std::move(fd);
  const mode_t mode = exactMode_ ? *exactMode_ : replacementMode & ~currentUmask();
  if (::fchmod(fd_.get(), mode) != 0) {
    const int error = errno;
    discard();
    return error;
  }
  return 0;
}

int ReplacementFile::commit(std::string_view bytes) {
  if (!fd_) return EBADF;
  if (filling_) {
    // Emptied again after a failure, as far as it can be: the write's own
    // error is the one reported either way.
    int error = writeAll(fd_.get(), bytes);
    if (error) {
      while (::ftruncate(fd_.get(), 0) != 0 && errno == EINTR) {
      }
    }
    // close() is where some file systems report a failed write.
    if (::close(fd_.release()) != 0 && !error) {
      error = errno;
      while (::truncate(path_.c_str(), 0) != 0 && errno == EINTR) {
      }
    }
    return error;
  }
  if (const int error = writeAll(fd_.get(), bytes)) {
    discard();
    return error;
  }
  // No fsync: a thumbnail is a cache entry, cheaper to make again after a
  // crash than to wait for the disk on every file.
  // close() is where some file systems report a failed write.
  if (::close(fd_.release()) != 0) {
    const int error = errno;
    discard();
    return error;
  }
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    discard();
    return error;
  }
  tempPath_.clear();
  return 0;
}

}  // namespace tamsel
