#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// The thumbnail sizes a shared thumbnail cache keeps, one directory each.
enum class CacheFlavor { normal, large, xLarge, xxLarge };

// What `--cache` was asked to do.
struct CacheOptions {
  // Large is what current file managers ask for at their default zoom.
  CacheFlavor flavor = CacheFlavor::large;
  // Worker threads; 0 means one per hardware thread.
  unsigned jobs = 0;
  // Files and directories to cover, as given (relative paths are taken from
  // the current directory). Never empty once parsed.
  std::vector<std::string> paths;
  // The cache root ("…/thumbnails" lives below it). Empty means
  // $XDG_CACHE_HOME, or ~/.cache when that is unset or not absolute.
  std::string cacheHome;
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

// Parses the arguments of `--cache [--flavor F] [-j N] PATH...`. `args` are the
// command-line words after the program name; "--cache" itself may appear and
// is ignored. Accepts "--flavor F", "--flavor=F", "-j N", "-jN", "--jobs N",
// "--jobs=N", and "--" to end options. On a bad or missing value, an unknown
// option or no PATH, returns nullopt and sets `error` to one line for the user.
std::optional<CacheOptions> parseCacheArgs(std::span<const std::string> args, std::string& error);

// The usage line printed with a parse error.
constexpr std::string_view cacheUsage =
    "usage: tamsel-thumbnail --cache [--flavor normal|large|x-large|xx-large] [-j N] PATH...";

}  // namespace tamsel
