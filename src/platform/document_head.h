#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tamsel {

// Only this many bytes of a document are ever decoded, so reading more would
// be wasted work and memory that grows with the file.
constexpr std::size_t documentHeadLimit = 65'536;

// The first min(size, documentHeadLimit) bytes of the regular file at `path`.
// Returns the empty string for anything else: a missing or unreadable file, a
// directory, FIFO, socket or device, or a read error. Never blocks: the file
// is opened non-blocking and nothing but a regular file is read. A file that
// shrinks while being read gives the bytes read up to its new end. Cost and
// memory are bounded by documentHeadLimit whatever the file's size.
std::string readDocumentHead(const std::string& path);

// As readDocumentHead, but nullopt instead of the empty string for anything
// that is not a regular file or cannot be read, so a front end can tell a
// failure from an empty document.
std::optional<std::string> tryReadDocumentHead(const std::string& path);

// 0 when `path` names something that exists (following symbolic links);
// otherwise the errno of the failed lookup, e.g. ENOENT or EACCES. Lets a
// front end tell "no such file" apart from "exists but unreadable".
int pathLookupError(const std::string& path);

}  // namespace tamsel
