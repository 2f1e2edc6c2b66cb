// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// The thumbnail sizes a shared thumbnail cache keeps, one directory each.
enum class CacheFlavor { normal, large, xLarge, xxLarge };

// What `--cache` was asked to do.
struct CacheOptions {
  // Each document is read and skimmed once and drawn at each of these sizes,
  // none twice. Large is what current file managers ask for at their default
  // zoom; HiDPI desktops ask for x-large or xx-large.
  std::vector<CacheFlavor> flavors{CacheFlavor::large};
  // Worker threads; 0 means one per hardware thread.
  unsigned jobs = 0;
  // Draw every document again, even one with fresh thumbnails or a fresh
  // record of an earlier failure.
  bool force = false;
  // Files and directories to cover, as given (relative paths are taken from
  // the current directory). Never empty once parsed.
  std::vector<std::string> paths;
  // The cache root ("…/thumbnails" lives below it). Empty means
  // $XDG_CACHE_HOME, or ~/.cache when that is unset or not absolute.
  std::string cacheHome;
  // The drawer program each worker hands its documents to. Empty means the
  // one this executable runs (drawerProgramPath).
  std::string drawerProgram;
};

// Most worker threads -j accepts: far beyond any useful count, low enough that
// a typo cannot exhaust the process's threads.
constexpr unsigned maxCacheJobs = 256;

// The directory name of a flavor: "normal", "large", "x-large", "xx-large".
std::string_view flavorName(CacheFlavor flavor);

// The flavor's largest side in pixels: 128, 256, 512 or 1024.
int flavorMaximum(CacheFlavor flavor);

// The flavor named `name`, as flavorName spells it.
std::optional<CacheFlavor> flavorFromName(std::string_view name);

// A comma-separated list of flavor names ("large,x-large"), in the order
// given, each once. nullopt when any item is not a flavor name (an empty item
// included).
std::optional<std::vector<CacheFlavor>> parseFlavorList(std::string_view text);

// A worker count: a whole decimal number from 1 to maxCacheJobs, nothing
// before or after it.
std::optional<unsigned> parseJobs(std::string_view text);

}  // namespace tamsel
