// SPDX-License-Identifier: MIT
#include "render/font_setup.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/read_file.h"
#include "platform/unique_fd.h"
#include "render/cairo_canvas.h"
#include "render/fontconfig_xml.h"
#include "render/text_style.h"

namespace tamsel {
namespace {

// Whoever sets one of these asked for a configuration of their own.
constexpr std::array fullConfigVariables{"FONTCONFIG_FILE", "FONTCONFIG_PATH",
                                         "FONTCONFIG_SYSROOT"};

// conf.d files are numbered by what they do (fontconfig's conf.d/README).
// Until the user's own files (50-user.conf) have run, a request holds only
// the families the page asked for, or that a file before then adds to it, so
// before that point a file of nothing but aliases for other families never
// acts on a page's request.
constexpr int userConfNumber = 50;

// fontconfig's files are a few KiB. One this large is not read in part, as
// a cut file could look like nothing but aliases: it is kept, or fontconfig's
// full configuration is used.
constexpr std::size_t confFileLimit = 1 << 20;

// Any text does: a page's fonts load with the first glyphs laid out in them.
constexpr std::string_view fontSample = "Tamsel";

std::optional<std::string> readFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string text;
  if (readUpTo(fd.get(), text, confFileLimit) != 0 || text.size() == confFileLimit) {
    return std::nullopt;
  }
  return text;
}

// What fontconfig would find for `name` along its configuration path.
std::optional<std::string> configFile(FcConfig* config, const char* name) {
  FcChar8* found = FcConfigGetFilename(config, reinterpret_cast<const FcChar8*>(name));
  if (!found) return std::nullopt;
  std::string path(reinterpret_cast<const char*>(found));
  FcStrFree(found);
  return path;
}

// Every other file stays, whatever its number suggests: those that look like
// rendering options also scale bitmap faces such as colour emoji to the size
// asked for, and elsewhere may do more.
bool pageNeeds(int number, const std::string& path) {
  if (number >= userConfNumber) return true;
  const std::optional<std::string> conf = readFile(path);
  return !conf || !fontconfig_xml::onlyOtherFamilyAliases(*conf);
}

// The conf.d files pages need, as <include> elements, in fontconfig's order.
std::optional<std::string> confDirIncludes(const std::string& dir) {
  std::error_code error;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    std::string name = entry.path().filename().string();
    if (const auto number = fontconfig_xml::confFileNumber(name);
        number && pageNeeds(*number, entry.path())) {
      names.push_back(std::move(name));
    }
  }
  if (error) return std::nullopt;
  std::sort(names.begin(), names.end());
  std::string includes;
  for (const std::string& name : names) {
    includes += "<include ignore_missing=\"yes\">" + fontconfig_xml::escaped(dir + "/" + name) +
                "</include>\n";
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
  if (!conf) return nullptr;
  const auto include = fontconfig_xml::findConfDirInclude(*conf);
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

namespace {
std::atomic<bool> systemConfigKept{false};
}  // namespace

void keepSystemFontConfig() {
  systemConfigKept.store(true, std::memory_order_relaxed);
}

void setUpFontConfig() {
  static const bool ready = [] {
    // Loaded here rather than by Pango's first font map, so that nothing
    // else asks fontconfig while it is still loading.
    if (systemConfigKept.load(std::memory_order_relaxed)) return FcInit() == FcTrue;
    if (const detail::FcConfigHandle config = detail::pageFontConfig()) {
      return FcConfigSetCurrent(config.get()) == FcTrue;
    }
    return FcInit() == FcTrue;
  }();
  (void)ready;
}

std::vector<std::string> fontConfigPaths(bool configuration) {
  setUpFontConfig();
  std::vector<std::string> paths;
  FcConfig* config = FcConfigReference(nullptr);
  if (!config) return paths;
  // Fonts are opened as pages need them; the caches and the configuration
  // are read again should fontconfig find them out of date.
  for (FcStrList* list : {FcConfigGetFontDirs(config), FcConfigGetCacheDirs(config),
                          configuration ? FcConfigGetConfigFiles(config) : nullptr}) {
    if (!list) continue;
    while (const FcChar8* path = FcStrListNext(list)) {
      paths.emplace_back(reinterpret_cast<const char*>(path));
    }
    FcStrListDone(list);
  }
  if (configuration) {
    if (std::optional<std::string> main = configFile(config, nullptr)) paths.push_back(*main);
  }
  FcConfigDestroy(config);
  return paths;
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
