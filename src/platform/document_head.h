// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <system_error>
#include <variant>

#include "platform/unique_fd.h"

namespace tamsel {

// Why something that exists is not read as a document. Errors of this enum
// belong to documentCategory(); everything else a read can fail with is an
// errno in std::generic_category() (EACCES, EIO, ENOENT, EISDIR, ...).
enum class DocumentError {
  fifo = 1,  // "not a regular file (a FIFO)"
  device,    // "not a regular file (a device)"
  socket,    // "not a regular file (a socket)"
  notLocal,  // "not a local file: only file:// URLs and paths are read"
};

const std::error_category& documentCategory();
std::error_code make_error_code(DocumentError error);

// The first min(size, `limit`) bytes of the regular file at `path`
// (symbolic links followed), or why it cannot be read: the errno of a failed
// lookup, open or read, EISDIR for a directory, a DocumentError for a FIFO,
// device or socket. An empty file is read, as no bytes. Never blocks, and
// opens nothing but a regular file: a FIFO with no writer or a device is
// refused from its file type alone. A file that shrinks while being read
// gives the bytes read up to its new end. Cost and memory are bounded by
// `limit` whatever the file's size: callers pass what they will look at, the
// skimmer's decodeByteLimit.
struct DocumentHead {
  std::string bytes;
  std::error_code error;  // set when nothing was read
};
DocumentHead readDocumentHead(const std::string& path, std::size_t limit);

// The regular file at `path` opened for reading, without reading a byte, or
// what readDocumentHead would fail with before reading: the same lookup,
// type and open checks. Never blocks. Lets a front end refuse an INPUT
// before it does anything else, and hand the descriptor on.
std::variant<UniqueFd, std::error_code> openDocument(const std::string& path);

// Why a file of type `mode` is not read as a document: EISDIR for a
// directory, a DocumentError for a FIFO, device or socket; empty for a
// regular file.
std::error_code fileTypeProblem(mode_t mode);

}  // namespace tamsel

template <>
struct std::is_error_code_enum<tamsel::DocumentError> : std::true_type {};
