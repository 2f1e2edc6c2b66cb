// SPDX-License-Identifier: MIT
// Parses arbitrary command lines, one argument per NUL-separated piece as a
// host or a script may pass them, and reads each argument as INPUT, as a
// size and as a file URL, checking what the front end relies on. Nothing
// here opens or writes a file.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "drawer/thumbnail_size.h"
#include "platform/file_url.h"
#include "require.h"
#include "service/command_line.h"

namespace {

using namespace tamsel;

// Messages go to stderr as one line, whatever the arguments held.
bool printable(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool finite(Size size) {
  return std::isfinite(size.width) && std::isfinite(size.height);
}

void checkArgument(const std::string& arg) {
  require(printable(quotedPath(arg)), "quotedPath let a control character through");
  if (const auto side = parseNumber(arg)) require(std::isfinite(*side), "number not finite");
  if (const auto size = parseSizePair(arg)) require(finite(*size), "size not finite");
  (void)outputFormat(arg);
  (void)isOtherURL(arg);
  (void)inputPath(arg);
  const std::string name = lastPathComponent(arg);
  require(name == "/" || name.find('/') == std::string::npos, "file name holds a slash");
  if (const auto path = filePathFromURL(arg)) {
    require(path->starts_with('/'), "file URL names a relative path");
    require(path->find('\0') == std::string::npos, "file URL smuggles in NUL");
  }
  // Any absolute path survives the trip through its URL; cache names
  // depend on it.
  if (arg.starts_with('/') && arg.find('\0') == std::string::npos) {
    const auto url = fileURLFromPath(arg);
    require(url && filePathFromURL(*url) == arg, "path does not survive its file URL");
  }
}

void checkLine(const CommandLine& line) {
  switch (line.action) {
    case Action::thumbnail: {
      require(finite(line.maximum) && line.maximum.width > 0 && line.maximum.height > 0,
              "maximum not positive");
      require(finite(line.minimum) && line.minimum.width >= 0 && line.minimum.height >= 0,
              "minimum negative");
      const Size page = thumbnailSize(line.maximum, line.minimum);
      require(std::ceil(page.width) <= pageSideLimit && std::ceil(page.height) <= pageSideLimit,
              "page beyond pageSideLimit");
      break;
    }
    case Action::cache:
      require(!line.cache.paths.empty() && !line.cache.flavors.empty(), "cache with nothing");
      require(line.cache.jobs <= maxCacheJobs, "more than maxCacheJobs");
      break;
    case Action::keepFontAnswers:
      require(line.input.empty() && line.output.empty(), "--keep-font-answers took arguments");
      break;
    case Action::skim:
    case Action::help:
    case Action::version:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::size_t argumentLimit = 32;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (std::size_t at = 0; at <= bytes.size() && args.size() < argumentLimit;) {
    const std::size_t end = std::min(bytes.find('\0', at), bytes.size());
    args.emplace_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());

  const auto parsed = parseCommandLine(argv);
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    require(!error->empty() && printable(*error), "usage error not one printable line");
  } else {
    checkLine(std::get<CommandLine>(parsed));
  }
  for (const std::string& arg : args) checkArgument(arg);
  return 0;
}
