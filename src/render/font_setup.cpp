#include "render/font_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"
#include "render/cairo_canvas.h"
#include "render/text_style.h"

namespace tamsel {
namespace {

// Whoever sets one of these asked for a configuration of their own.
constexpr std::array fullConfigVariables{"FONTCONFIG_FILE", "FONTCONFIG_PATH",
                                         "FONTCONFIG_SYSROOT"};

// conf.d files are numbered by what they do (fontconfig's conf.d/README).
// Until the user's own files (50-user.conf) have run, a request holds only
// the families the page asked for, or that a file before then adds to it.
// Before that point, a file of nothing but aliases for other families
// (metric-compatible names, tables of which named family is serif or sans)
// never acts on a page's request.
constexpr int userConfNumber = 50;
constexpr std::array requestFamilies{"sans-serif", "serif", "monospace", "emoji", "math", "Menlo"};
// The elements that fontconfig allows in a file besides <alias>.
constexpr std::array nonAliasElements{"match",   "selectfont", "dir",       "cachedir",
                                      "include", "config",     "remap-dir", "reset-dirs"};
// The families an alias applies to come before the lists it edits.
constexpr std::array aliasLists{"prefer", "accept", "default"};

constexpr std::size_t readChunk = 16'384;
constexpr std::string_view confDirName = "conf.d";
constexpr std::string_view confDirPathEnd = "/conf.d";
constexpr std::string_view confSuffix = ".conf";
constexpr std::string_view includeStart = "<include";
constexpr std::string_view includeEnd = "</include>";
// Parsed from memory, fonts.conf has no directory of its own for such paths
// to be relative to.
constexpr std::string_view relativePrefix = "prefix=\"relative\"";

// Any text does: a page's fonts load with the first glyphs laid out in them.
constexpr std::string_view fontSample = "Tamsel";

// fontconfig loads the conf.d files named [0-9]*.conf, in byte order.
std::optional<int> confFileNumber(std::string_view name) {
  if (name.size() <= confSuffix.size() || !name.ends_with(confSuffix)) return std::nullopt;
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error != std::errc() || end == name.data()) return std::nullopt;
  return number;
}

std::optional<std::string> readFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string text;
  std::array<char, readChunk> chunk;
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return text;
    text.append(chunk.data(), static_cast<std::size_t>(got));
  }
}

// What fontconfig would find for `name` along its configuration path.
std::optional<std::string> configFile(FcConfig* config, const char* name) {
  FcChar8* found = FcConfigGetFilename(config, reinterpret_cast<const FcChar8*>(name));
  if (!found) return std::nullopt;
  std::string path(reinterpret_cast<const char*>(found));
  FcStrFree(found);
  return path;
}

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view space = " \t\r\n";
  const auto first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// fontconfig compares family names ignoring case and blanks.
bool sameFamily(std::string_view a, std::string_view b) {
  // The next character that counts, folded to lower case; 0 at the end.
  const auto next = [](std::string_view& name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    if (name.empty()) return '\0';
    const char c = name.front();
    name.remove_prefix(1);
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (;;) {
    const char x = next(a);
    if (x != next(b)) return false;
    if (x == '\0') return true;
  }
}

bool isRequestFamily(std::string_view name) {
  return std::any_of(requestFamilies.begin(), requestFamilies.end(),
                     [&](const char* family) { return sameFamily(trimmed(name), family); });
}

// Whether a conf file holds nothing but aliases for families that a page's
// request cannot hold. One pass over its tags; read as plain text, a comment
// can only make it look like more.
bool onlyOtherFamilyAliases(std::string_view conf) {
  const auto one = [](const auto& names, std::string_view tag) {
    return std::find(names.begin(), names.end(), tag) != names.end();
  };
  bool inAliasHead = false;  // after <alias>, before the lists it edits
  for (auto open = conf.find('<'); open != std::string_view::npos; open = conf.find('<', open)) {
    ++open;
    const auto end = std::find_if(conf.begin() + static_cast<std::ptrdiff_t>(open), conf.end(),
                                  [](char c) { return c == '>' || c == '/' || c <= ' '; });
    const std::string_view tag(conf.data() + open,
                               static_cast<std::size_t>(end - conf.begin()) - open);
    if (one(nonAliasElements, tag)) return false;
    if (tag == "alias") {
      inAliasHead = true;
    } else if (one(aliasLists, tag)) {
      inAliasHead = false;
    } else if (inAliasHead && tag == "family") {
      const auto close = conf.find('>', open);
      if (close == std::string_view::npos) return false;
      const auto name = close + 1;
      if (isRequestFamily(conf.substr(name, conf.find('<', name) - name))) return false;
    }
  }
  return true;
}

// Every other file stays, whatever its number suggests: those that look like
// rendering options also scale bitmap faces such as colour emoji to the size
// asked for, and elsewhere may do more.
bool pageNeeds(int number, const std::string& path) {
  if (number >= userConfNumber) return true;
  const std::optional<std::string> conf = readFile(path);
  return !conf || !onlyOtherFamilyAliases(*conf);
}

// The element of fonts.conf that loads conf.d, as <include ...>conf.d</include>.
struct ConfDirInclude {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string target;
};

std::optional<ConfDirInclude> findConfDirInclude(std::string_view conf) {
  for (auto begin = conf.find(includeStart); begin != std::string_view::npos;
       begin = conf.find(includeStart, begin + 1)) {
    const auto open = conf.find('>', begin);
    const auto close = conf.find(includeEnd, begin);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
    const std::string_view target = trimmed(conf.substr(open + 1, close - open - 1));
    if (target == confDirName || target.ends_with(confDirPathEnd)) {
      return ConfDirInclude{
          .begin = begin, .end = close + includeEnd.size(), .target = std::string(target)};
    }
  }
  return std::nullopt;
}

std::string xmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The conf.d files pages need, as <include> elements, in fontconfig's order.
std::optional<std::string> confDirIncludes(const std::string& dir) {
  std::error_code error;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    std::string name = entry.path().filename().string();
    if (const auto number = confFileNumber(name); number && pageNeeds(*number, entry.path())) {
      names.push_back(std::move(name));
    }
  }
  if (error) return std::nullopt;
  std::sort(names.begin(), names.end());
  std::string includes;
  for (const std::string& name : names) {
    includes += "<include ignore_missing=\"yes\">" + xmlEscaped(dir + "/" + name) + "</include>\n";
  }
  return includes;
}

bool hasFonts(FcConfig* config) {
  const FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
  return fonts && fonts->nfont > 0;
}

// Without one fontconfig's own start-up adds a default, with a warning.
bool hasCacheDirs(FcConfig* config) {
  FcStrList* dirs = FcConfigGetCacheDirs(config);
  const bool any = dirs && FcStrListNext(dirs);
  if (dirs) FcStrListDone(dirs);
  return any;
}

}  // namespace

namespace detail {

FcConfigHandle pageFontConfig() {
  if (std::any_of(fullConfigVariables.begin(), fullConfigVariables.end(),
                  [](const char* name) { return std::getenv(name) != nullptr; })) {
    return nullptr;
  }
  FcConfigHandle config(FcConfigCreate());
  if (!config) return nullptr;
  const std::optional<std::string> mainPath = configFile(config.get(), nullptr);
  std::optional<std::string> conf = mainPath ? readFile(*mainPath) : std::nullopt;
  if (!conf || conf->find(relativePrefix) != std::string::npos) return nullptr;
  const std::optional<ConfDirInclude> include = findConfDirInclude(*conf);
  if (!include) return nullptr;
  const std::optional<std::string> dir = configFile(config.get(), include->target.c_str());
  const std::optional<std::string> includes = dir ? confDirIncludes(*dir) : std::nullopt;
  if (!includes) return nullptr;
  conf->replace(include->begin, include->end - include->begin, *includes);
  if (!FcConfigParseAndLoadFromMemory(config.get(), reinterpret_cast<const FcChar8*>(conf->c_str()),
                                      FcTrue) ||
      !hasCacheDirs(config.get()) || !FcConfigBuildFonts(config.get()) || !hasFonts(config.get())) {
    return nullptr;
  }
  return config;
}

}  // namespace detail

void setUpFontConfig() {
  static const bool ready = [] {
    // Loaded here rather than by Pango's first font map, so that nothing
    // else asks fontconfig while it is still loading.
    if (const detail::FcConfigHandle config = detail::pageFontConfig()) {
      return FcConfigSetCurrent(config.get()) == FcTrue;
    }
    return FcInit() == FcTrue;
  }();
  (void)ready;
}

void preparePageFonts(double width, const std::function<bool()>& enough) {
  setUpFontConfig();
  if (!std::isfinite(width) || !(width > 0)) return;
  // Fonts belong to the thread's font map and to the font options of the
  // surface; a page's are those of any image surface, whatever its size.
  detail::CairoSurfaceHandle surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  detail::CairoHandle cairo(cairo_create(surface.get()));
  CairoCanvas canvas(cairo.get(), 1);
  StyledText sample;
  sample.text = fontSample;
  // Most used first: every page has a title, nearly every one body text.
  for (const TextStyle& style :
       {titleStyle(width), bodyStyle(width), headingStyle(width), monoStyle(width)}) {
    if (enough && enough()) return;
    sample.font = style.font;
    canvas.textHeight(sample, width, noHeightLimit);
  }
}

}  // namespace tamsel
