// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/unique_fd.h"

namespace tamsel {

// Replaces the file at a path all at once: the bytes go to a temporary file in
// the same directory, which is renamed over the path only when complete, so a
// reader sees the old file or the whole new one, never a partial one. The
// temporary file is removed on every path that does not commit, destructor
// included. The new file's mode is `exactMode` when given (the umask does not
// apply), else 0644 minus the process umask.
//
// With EmptyFile::fill, a path that already names an empty regular file (not
// through a symbolic link) is written in place instead: same inode, same mode,
// so a caller that made the file and holds it open reads the bytes through
// its own descriptor. Nothing is written before commit, which writes all the
// bytes at once; if that fails, the file is emptied again.
//
// Without an exact mode, open() may read the umask by setting and restoring
// it when /proc is unavailable; do not call it then while other threads
// create files.
enum class EmptyFile { replace, fill };

// The directory the temporary file for `path` is made in: the path's own.
std::string replacementDirectory(const std::string& path);

class ReplacementFile {
 public:
  explicit ReplacementFile(std::string path, std::optional<mode_t> exactMode = std::nullopt,
                           EmptyFile empty = EmptyFile::replace)
      : path_(std::move(path)), exactMode_(exactMode), empty_(empty) {}
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // Creates the temporary file, or opens the empty file to fill. 0 on
  // success, else an errno: e.g. ENOENT for a missing directory, EACCES for
  // one we may not write (or an empty file to fill we may not write), EISDIR
  // when the path is a directory (or ends in "/"). Call once, before commit.
  int open();

  // Writes `bytes` to the temporary file and renames it over the path, or
  // writes them into the file being filled. 0 on success, else an errno, and
  // the path is left as it was (an empty file to fill is empty again).
  int commit(std::string_view bytes);

  // Whether open() found an empty file to fill in place.
  bool fillsInPlace() const { return filling_; }

 private:
  int openToFill();
  void discard();

  std::string path_;
  std::optional<mode_t> exactMode_;
  EmptyFile empty_;
  bool filling_ = false;
  std::string tempPath_;
  UniqueFd fd_;
};

}  // namespace tamsel
