// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// The local path named by a file URL ("file:///home/a/b%20c.md" gives
// "/home/a/b c.md"), percent-decoded. nullopt for anything that names no local
// file: another scheme, a remote host, a relative path, or an escape that would
// smuggle in "/" or NUL.
std::optional<std::string> filePathFromURL(std::string_view url);

// The file URL of `path`. A relative path is joined to the current directory
// as it stands ("." and ".." are kept, so symbolic links resolve as the kernel
// would). Bytes outside the URL-safe set are percent-encoded, so any file name
// survives the round trip through filePathFromURL. nullopt for an empty path.
std::optional<std::string> fileURLFromPath(const std::string& path);

// The last component of a path, like the file name a user sees:
// "/a/notes/report.md" gives "report.md" (extension kept), trailing slashes are
// ignored ("/a/b/" gives "b"), "/" gives "/" and "" gives "".
std::string lastPathComponent(std::string_view path);

}  // namespace tamsel
