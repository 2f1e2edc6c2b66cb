#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace tamsel {

// Replaces the file at a path all at once: the bytes go to a temporary file in
// the same directory, which is renamed over the path only when complete, so a
// reader sees the old file or the whole new one, never a partial one. The
// temporary file is removed on every path that does not commit, destructor
// included. The new file's mode is `exactMode` when given (the umask does not
// apply), else 0644 minus the process umask.
//
// Without an exact mode, open() may read the umask by setting and restoring
// it when /proc is unavailable; do not call it then while other threads
// create files.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::string path, std::optional<mode_t> exactMode = std::nullopt)
      : path_(std::move(path)), exactMode_(exactMode) {}
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // Creates the temporary file. 0 on success, else an errno: e.g. ENOENT for a
  // missing directory, EACCES for one we may not write, EISDIR when the path
  // is a directory (or ends in "/"). Call once, before commit.
  int open();

  // Writes `bytes` to the temporary file and renames it over the path. 0 on
  // success, else an errno, and the path is left as it was.
  int commit(std::string_view bytes);

 private:
  void discard();

  std::string path_;
  std::optional<mode_t> exactMode_;
  std::string tempPath_;
  UniqueFd fd_;
};

}  // namespace tamsel
