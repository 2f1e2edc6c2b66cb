// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// One document to thumbnail: a file in one of DocumentList::directories.
struct CacheDocument {
  std::uint32_t directory = 0;  // index into DocumentList::directories
  std::string name;             // the file's name in that directory
  std::string_view mimeType;    // one of claimedMimeTypes
};

// The documents found under a set of paths. Directories are held once and
// shared by their files, so memory grows by little more than a file name per
// document.
struct DocumentList {
  // Absolute paths as named and walked, normalised by text alone ("." and
  // ".." resolved, repeated "/" collapsed); symbolic links are kept.
  std::vector<std::string> directories;
  std::vector<CacheDocument> documents;

  // The document's absolute path: its directory, "/", its name.
  std::string pathOf(const CacheDocument& document) const;
};

// Called for a path that cannot be used, with the errno that says why (ENOENT
// for a path that does not exist, EACCES for an unreadable directory, ...).
using WalkProblem = std::function<void(const std::string& path, int error)>;

// Finds the documents of a thumbnail cache run. Each path is a file or a
// directory, relative paths taken from the current directory.
//
// - A directory is searched recursively. Below the named paths, directories
//   whose names begin with "." are skipped and symbolic links to directories
//   are not followed; a directory reached twice (by overlapping paths or a
//   bind mount) is searched once. Symbolic links to files are documents, kept
//   under the link's own name, as a file manager shows them.
// - A file is a document when claimedTypeOf() claims its name; anything else
//   (other types, devices, FIFOs) is passed over silently. The same file named
//   twice is one document.
// - Paths are made absolute by text, not by resolving symbolic links, so a
//   document's path, and with it its URI, is the one a file manager browsing
//   to it would use: below a link "~/Notes" to "/data/notes", documents are
//   "~/Notes/...". A folder reached again by any path (a link loop, overlapping
//   paths) is searched only the first time.
// Reports each path that does not exist and each directory that cannot be
// read to `problem`, then goes on. Single-threaded; reads no file contents.
DocumentList findDocuments(std::span<const std::string> paths, const WalkProblem& problem);

}  // namespace tamsel
