// SPDX-License-Identifier: MIT
#include "service/cache/document_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "platform/handle.h"
#include "platform/unique_fd.h"
#include "service/cache/claimed_types.h"

namespace tamsel {
namespace {

void closeDir(DIR* dir) {
  ::closedir(dir);
}
using DirHandle = detail::Handle<DIR, closeDir>;

// The absolute form of `path` by text alone, as GIO gives it to a file
// manager: joined to the current directory, "." and ".." resolved, repeated
// slashes collapsed, symbolic links kept. A folder reached through a link is
// browsed, and its thumbnails looked up, under the link's path.
std::string absolutePath(const std::string& path) {
  const detail::GCharsHandle absolute(g_canonicalize_filename(path.c_str(), nullptr));
  return absolute.get();
}

std::string joinPath(const std::string& directory, std::string_view name) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

struct DeviceInode {
  dev_t device;
  ino_t inode;
  bool operator==(const DeviceInode&) const = default;
};

struct DeviceInodeHash {
  std::size_t operator()(const DeviceInode& key) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(key.inode) * 31 +
                                      static_cast<std::uint64_t>(key.device));
  }
};

enum class EntryKind { directory, file, other };

// What a directory entry is, from d_type when the file system fills it in, so
// most entries cost no stat. A link counts as what it points to, except that
// a link to a directory is never followed.
EntryKind kindOf(int directoryFd, const dirent& entry) {
  unsigned char type = entry.d_type;
  struct stat info {};
  if (type == DT_UNKNOWN) {
    if (::fstatat(directoryFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      return EntryKind::other;
    if (S_ISDIR(info.st_mode)) return EntryKind::directory;
    if (S_ISREG(info.st_mode)) return EntryKind::file;
    if (!S_ISLNK(info.st_mode)) return EntryKind::other;
    type = DT_LNK;
  }
  if (type == DT_DIR) return EntryKind::directory;
  if (type == DT_REG) return EntryKind::file;
  if (type == DT_LNK) {
    if (::fstatat(directoryFd, entry.d_name, &info, 0) != 0) return EntryKind::other;
    return S_ISREG(info.st_mode) ? EntryKind::file : EntryKind::other;
  }
  return EntryKind::other;
}

class Walker {
 public:
  explicit Walker(const WalkProblem& problem) : problem_(problem) {}

  // Named files are added at once, named directories only collected: walking
  // them after every named file is known lets the walk pass over those files.
  void addPath(const std::string& path, std::vector<std::string>& roots) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      problem_(path, errno);
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      roots.push_back(absolutePath(path));
    } else if (S_ISREG(info.st_mode)) {
      addNamedFile(absolutePath(path));
    }
  }

  void walkTree(const std::string& root) {
    std::vector<std::uint32_t> pending{addDirectory(root)};
    while (!pending.empty()) {
      const std::uint32_t index = pending.back();
      pending.pop_back();
      walkDirectory(index, pending);
    }
  }

  DocumentList take() { return std::move(list_); }

 private:
  // `path` is absolute, as absolutePath gives it.
  void addNamedFile(const std::string& path) {
    if (!namedFiles_.insert(path).second) return;
    const auto slash = path.find_last_of('/');
    addDocument(addDirectory(slash == 0 ? "/" : path.substr(0, slash)), path.substr(slash + 1));
  }

  void walkDirectory(std::uint32_t index, std::vector<std::uint32_t>& pending) {
    // Copied: adding subdirectories below may reallocate the list.
    const std::string path = list_.directories[index];
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
      problem_(path, errno);
      return;
    }
    if (!visited_.insert({.device = info.st_dev, .inode = info.st_ino}).second) return;

    const int directoryFd = fd.get();
    DirHandle dir(::fdopendir(directoryFd));
    if (!dir) {
      problem_(path, errno);
      return;
    }
    fd.release();  // now owned by the DIR stream

    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      switch (kindOf(directoryFd, *entry)) {
        case EntryKind::directory:
          // Hidden directories hold tool state (.git, .cache), not documents.
          if (!name.starts_with('.')) pending.push_back(addDirectory(joinPath(path, name)));
          break;
        case EntryKind::file:
          if (namedFiles_.empty() || !namedFiles_.contains(joinPath(path, name)))
            addDocument(index, name);
          break;
        case EntryKind::other:
          break;
      }
      errno = 0;
    }
    if (errno != 0) problem_(path, errno);
  }

  std::uint32_t addDirectory(std::string path) {
    list_.directories.push_back(std::move(path));
    return static_cast<std::uint32_t>(list_.directories.size() - 1);
  }

  void addDocument(std::uint32_t directory, std::string_view name) {
    const auto type = claimedTypeOf(name);
    if (!type) return;
    list_.documents.push_back(
        {.directory = directory, .name = std::string(name), .mimeType = *type});
  }

  const WalkProblem& problem_;
  DocumentList list_;
  std::unordered_set<DeviceInode, DeviceInodeHash> visited_;
  std::set<std::string> namedFiles_;
};

}  // namespace

std::string DocumentList::pathOf(const CacheDocument& document) const {
  return joinPath(directories[document.directory], document.name);
}

DocumentList findDocuments(std::span<const std::string> paths, const WalkProblem& problem) {
  Walker walker(problem);
  std::vector<std::string> roots;
  for (const auto& path : paths) walker.addPath(path, roots);
  for (const auto& root : roots) walker.walkTree(root);
  return walker.take();
}

}  // namespace tamsel
