// SPDX-License-Identifier: MIT
#include "platform/file_url.h"

#include <glib.h>

#include "platform/handle.h"

namespace tamsel {
namespace {}  // namespace

std::optional<std::string> filePathFromURL(std::string_view url) {
  const std::string owned(url);
  char* host = nullptr;
  detail::GCharsHandle path(g_filename_from_uri(owned.c_str(), &host, nullptr));
  const detail::GCharsHandle hostOwner(host);
  // GLib hands back the path of file://elsewhere/x as if it were ours.
  if (!path || (host && std::string_view(host) != "localhost")) return std::nullopt;
  return std::string(path.get());
}

std::optional<std::string> fileURLFromPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // Joined, not canonicalised: resolving ".." by text would be wrong after a
  // symbolic link.
  std::string absolute = path;
  if (!g_path_is_absolute(path.c_str())) {
    detail::GCharsHandle cwd(g_get_current_dir());
    absolute = std::string(cwd.get()) + "/" + path;
  }
  detail::GCharsHandle url(g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
  if (!url) return std::nullopt;
  return std::string(url.get());
}

std::string lastPathComponent(std::string_view path) {
  const auto end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return path.empty() ? "" : "/";
  path = path.substr(0, end + 1);
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace tamsel
