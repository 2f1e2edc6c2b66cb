#pragma once

#include <glib.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tamsel::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    gchar* made = g_dir_make_tmp("tamsel-cache-XXXXXX", nullptr);
    path_ = made ? made : "";
    g_free(made);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }

  // Writes `bytes` to `relative`, making its parent directories; returns the
  // file's path.
  std::string write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path file = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

 private:
  std::string path_;
};

// Sets a file's modification time to `seconds` since the epoch.
inline void setModificationTime(const std::string& path, long seconds) {
  const timeval times[2] = {{.tv_sec = seconds, .tv_usec = 0}, {.tv_sec = seconds, .tv_usec = 0}};
  ::utimes(path.c_str(), times);
}

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tamsel::test
