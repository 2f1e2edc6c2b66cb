// SPDX-License-Identifier: MIT
#include "platform/document_head.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <variant>

#include "platform/read_file.h"
#include "platform/unique_fd.h"

namespace tamsel {
namespace {

class DocumentCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "document"; }
  std::string message(int value) const override {
    switch (static_cast<DocumentError>(value)) {
      case DocumentError::fifo:
        return "not a regular file (a FIFO)";
      case DocumentError::device:
        return "not a regular file (a device)";
      case DocumentError::socket:
        return "not a regular file (a socket)";
      case DocumentError::notLocal:
        return "not a local file: only file:// URLs and paths are read";
    }
    return "not a readable document";
  }
};

std::error_code fromErrno(int error) {
  return {error, std::generic_category()};
}

}  // namespace

// Only a regular file is a document. The rest is judged by its type alone:
// opening a FIFO or a device can block, or act on the device.
std::error_code fileTypeProblem(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return fromErrno(EISDIR);
  if (S_ISFIFO(mode)) return DocumentError::fifo;
  if (S_ISSOCK(mode)) return DocumentError::socket;
  return DocumentError::device;
}

std::variant<UniqueFd, std::error_code> openDocument(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return fromErrno(errno);
  if (const auto problem = fileTypeProblem(info.st_mode)) return problem;
  // O_NONBLOCK in case the path became a FIFO since the stat; the fstat below
  // then refuses it before any read.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) return fromErrno(errno);
  if (::fstat(fd.get(), &info) != 0) return fromErrno(errno);
  if (const auto problem = fileTypeProblem(info.st_mode)) return problem;
  return fd;
}

const std::error_category& documentCategory() {
  static const DocumentCategory category;
  return category;
}

std::error_code make_error_code(DocumentError error) {
  return {static_cast<int>(error), documentCategory()};
}

DocumentHead readDocumentHead(const std::string& path, std::size_t limit) {
  auto opened = openDocument(path);
  if (auto* error = std::get_if<std::error_code>(&opened)) return {.bytes = {}, .error = *error};
  const UniqueFd fd = std::move(std::get<UniqueFd>(opened));

  std::string bytes;
  if (const int error = readUpTo(fd.get(), bytes, limit)) {
    return {.bytes = {}, .error = fromErrno(error)};
  }
  return {.bytes = std::move(bytes), .error = {}};
}

}  // namespace tamsel
