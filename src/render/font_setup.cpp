// SPDX-License-Identifier: MIT
#include "render/font_setup.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/program_folder.h"
#include "platform/read_file.h"
#include "platform/replacement_file.h"
#include "platform/unique_fd.h"
#include "render/cairo_canvas.h"
#include "render/font_answers.h"
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

// A file's whole text; none when it cannot be read or reaches `limit`, as a
// cut file could say something else than the whole.
std::optional<std::string> wholeFile(const std::string& path, std::size_t limit, int flags = 0) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags));
  if (!fd) return std::nullopt;
  std::string text;
  if (readUpTo(fd.get(), text, limit) != 0 || text.size() == limit) return std::nullopt;
  return text;
}

std::optional<std::string> readFile(const std::string& path) {
  return wholeFile(path, confFileLimit);
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

// The conf.d files pages need, in fontconfig's order.
std::optional<std::vector<std::string>> confDirFiles(const std::string& dir) {
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
  for (std::string& name : names) name = dir + "/" + name;
  return names;
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

// The page's configuration as text: fontconfig's main file with its conf.d
// <include> replaced by the files pages need. Also what that text is made of,
// for the configuration that stands in for it.
struct PageConfigText {
  std::string xml;
  std::string mainPath;
  std::string mainText;  // with a marker where the conf.d files go
  std::vector<std::string> files;
};

constexpr std::string_view confDirMarker = "<tamsel-conf-d/>";

std::optional<PageConfigText> pageConfigText(bool* missing = nullptr) {
  if (std::any_of(fullConfigVariables.begin(), fullConfigVariables.end(),
                  [](const char* name) { return std::getenv(name) != nullptr; })) {
    return std::nullopt;
  }
  detail::FcConfigHandle config(FcConfigCreate());
  if (!config) return std::nullopt;
  const std::optional<std::string> mainPath = configFile(config.get(), nullptr);
  std::optional<std::string> conf = mainPath ? readFile(*mainPath) : std::nullopt;
  if (!conf) {
    if (missing) *missing = !mainPath || ::access(mainPath->c_str(), F_OK) != 0;
    return std::nullopt;
  }
  const auto include = fontconfig_xml::findConfDirInclude(*conf);
  if (!include) return std::nullopt;
  const std::optional<std::string> dir = configFile(config.get(), include->target.c_str());
  const std::optional<std::vector<std::string>> files = dir ? confDirFiles(*dir) : std::nullopt;
  if (!files) return std::nullopt;
  std::string includes;
  for (const std::string& file : *files) {
    includes += "<include ignore_missing=\"yes\">" + fontconfig_xml::escaped(file) + "</include>\n";
  }
  PageConfigText text{.xml = *conf, .mainPath = *mainPath, .mainText = *conf, .files = *files};
  text.xml.replace(include->begin, include->end - include->begin, includes);
  text.mainText.replace(include->begin, include->end - include->begin, confDirMarker);
  return text;
}

detail::FcConfigHandle parsedConfig(const std::string& xml) {
  detail::FcConfigHandle config(FcConfigCreate());
  if (!config ||
      !FcConfigParseAndLoadFromMemory(config.get(), reinterpret_cast<const FcChar8*>(xml.c_str()),
                                      FcTrue) ||
      !hasCacheDirs(config.get()) || !FcConfigBuildFonts(config.get()) || !hasFonts(config.get())) {
    return nullptr;
  }
  return config;
}

std::vector<std::string> strings(FcStrList* list) {
  std::vector<std::string> out;
  if (!list) return out;
  while (const FcChar8* value = FcStrListNext(list)) {
    out.emplace_back(reinterpret_cast<const char*>(value));
  }
  FcStrListDone(list);
  return out;
}

// ---- Answers kept between processes -------------------------------------

// Where the answers are kept: the user's cache, as fontconfig's own are.
std::optional<std::string> answersPath() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string dir;
  if (cache && cache[0] == '/') {
    dir = cache;
  } else if (home && home[0] == '/') {
    dir = std::string(home) + "/.cache";
  } else {
    return std::nullopt;
  }
  // Requests hold the program's name, so each program keeps its own.
  return dir + "/tamsel-thumbnail/font-answers-" + program_invocation_short_name;
}

// Where the answers kept for every user lie: below the program's own
// prefix, as what a sandbox showing only /usr can read.
std::optional<std::string> systemAnswersPath() {
  const std::string folder = programFolder();
  if (folder.empty()) return std::nullopt;
  return folder + TAMSEL_FONT_ANSWERS_FROM_BINDIR + "/font-answers-" +
         program_invocation_short_name;
}

// Set while answers are derived for every user: no user's own are used.
std::atomic<bool> forEveryone{false};

// A file of answers is small; one far larger is not ours to trust.
constexpr std::size_t answersFileLimit = 8 << 20;

// The families of fonts fontconfig knows, folded as it compares them.
std::string foldedFamily(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c == ' ') continue;
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The fonts Pango chooses among: those it can shape, in fontconfig's order.
detail::FcFontSetHandle shapeableFonts(FcConfig* config) {
  detail::FcFontSetHandle result(FcFontSetCreate());
  for (const FcSetName set : {FcSetSystem, FcSetApplication}) {
    FcFontSet* fonts = FcConfigGetFonts(config, set);
    if (!fonts) continue;
    for (int i = 0; i < fonts->nfont; ++i) {
      FcChar8* file = nullptr;
      FcChar8* format = nullptr;
      if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
        const std::string_view name(reinterpret_cast<const char*>(file));
        if (name.ends_with(".woff") || name.ends_with(".woff2")) continue;
      }
      // Compared as Pango compares them.
      if (FcPatternGetString(fonts->fonts[i], FC_FONTFORMAT, 0, &format) != FcResultMatch ||
          (g_ascii_strcasecmp(reinterpret_cast<const char*>(format), "TrueType") != 0 &&
           g_ascii_strcasecmp(reinterpret_cast<const char*>(format), "CFF") != 0)) {
        continue;
      }
      FcPatternReference(fonts->fonts[i]);
      FcFontSetAdd(result.get(), fonts->fonts[i]);
    }
  }
  return result;
}

// The fonts of `fonts` as text that changes when one is added, removed or
// changed.
std::string fontsFingerprint(FcFontSet* fonts) {
  std::string out;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* file = nullptr;
    int index = 0;
    FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file);
    FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index);
    out += file ? reinterpret_cast<const char*>(file) : "";
    out +=
        ' ' + std::to_string(index) + ' ' + std::to_string(FcPatternHash(fonts->fonts[i])) + '\n';
  }
  return out;
}

bool sameFonts(FcFontSet* a, FcFontSet* b) {
  if (a->nfont != b->nfont) return false;
  for (int i = 0; i < a->nfont; ++i) {
    if (!FcPatternEqual(a->fonts[i], b->fonts[i])) return false;
  }
  return true;
}

// Every font a request would be given, in order: the best match, then the
// sorted fallbacks, each prepared for drawing.
std::vector<detail::FcPatternHandle> choices(FcConfig* config, FcFontSet* fonts,
                                             const FcPattern* request) {
  std::vector<detail::FcPatternHandle> out;
  detail::FcPatternHandle pattern(FcPatternDuplicate(request));
  FcDefaultSubstitute(pattern.get());
  FcFontSet* sets[] = {fonts};
  FcResult result;
  out.emplace_back(FcFontSetMatch(config, sets, 1, pattern.get(), &result));
  detail::FcFontSetHandle sorted(
      FcFontSetSort(config, sets, 1, pattern.get(), FcTrue, nullptr, &result));
  for (int i = 0; sorted && i < sorted->nfont; ++i) {
    out.emplace_back(FcFontRenderPrepare(config, pattern.get(), sorted->fonts[i]));
  }
  return out;
}

bool sameChoices(const std::vector<detail::FcPatternHandle>& a,
                 const std::vector<detail::FcPatternHandle>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x && y ? FcPatternEqual(x.get(), y.get()) == FcTrue : !x && !y;
  });
}

enum class FontMode { system, page, answers };
std::atomic<FontMode> fontMode{FontMode::system};

struct AnswerState {
  std::mutex mutex;
  // The page's own configuration, for requests without a saved answer;
  // made when first needed.
  detail::FcConfigHandle page;
  std::optional<PageConfigText> pageText;  // what `page` was parsed from
  bool pageTried = false;
  // Whether fontconfig's own main file is nowhere to be read.
  bool pageMissing = false;
  // The configuration kept with the answers for every user, when the
  // system's files cannot be read.
  std::string keptPage;
  std::map<std::string, std::string> requests;
  std::vector<std::string> configFiles;
  // While answers are being derived: the stand-in configuration, its fonts
  // and the families they have, to check each answer against.
  bool recording = false;
  FcConfig* standIn = nullptr;
  detail::FcFontSetHandle pageFonts;
  detail::FcFontSetHandle standInFonts;
  std::set<std::string> families;
};

AnswerState& answerState() {
  static AnswerState state;
  return state;
}

FcConfig* pageConfigLocked(AnswerState& state) {
  if (!state.pageTried) {
    state.pageTried = true;
    if (!state.keptPage.empty()) {
      state.page = parsedConfig(state.keptPage);
      return state.page.get();
    }
    state.pageText = pageConfigText(&state.pageMissing);
    if (state.pageText) state.page = parsedConfig(state.pageText->xml);
  }
  return state.page.get();
}

// Makes the page's configuration fontconfig's current one.
bool usePageConfigLocked(AnswerState& state) {
  FcConfig* page = pageConfigLocked(state);
  if (!page || FcConfigSetCurrent(page) != FcTrue) return false;
  fontMode.store(FontMode::page);
  return true;
}

// The edit with the families no font has left out, when that changes
// nothing any font choice depends on; else the edit itself, when the
// stand-in chooses as the page's configuration does; else nothing.
detail::FcPatternHandle leanerAnswer(AnswerState& state, const FcPattern* edited) {
  detail::FcPatternHandle leaner(FcPatternDuplicate(edited));
  FcPatternDel(leaner.get(), FC_FAMILY);
  for (int i = 0;; ++i) {
    FcValue value;
    FcValueBinding binding;
    if (FcPatternGetWithBinding(edited, FC_FAMILY, i, &value, &binding) != FcResultMatch) break;
    const std::string_view name(reinterpret_cast<const char*>(value.u.s));
    if (value.type == FcTypeString && isAscii(name) &&
        !state.families.contains(foldedFamily(name))) {
      continue;
    }
    font_answers::addValue(leaner.get(), FC_FAMILY, value, binding);
  }
  const auto truth = choices(state.page.get(), state.pageFonts.get(), edited);
  if (sameChoices(truth, choices(state.standIn, state.standInFonts.get(), leaner.get()))) {
    return leaner;
  }
  if (sameChoices(truth, choices(state.standIn, state.standInFonts.get(), edited))) {
    return detail::FcPatternHandle(FcPatternDuplicate(edited));
  }
  return nullptr;
}

// Pango's edit of each request: the saved answer, else the page's own
// configuration's.
void answerRequest(FcPattern* pattern, gpointer) {
  AnswerState& state = answerState();
  const std::optional<std::string> key = font_answers::serialized(pattern);
  std::lock_guard lock(state.mutex);
  if (key) {
    if (const auto found = state.requests.find(*key); found != state.requests.end()) {
      if (const detail::FcPatternHandle answer{font_answers::deserialized(found->second)}) {
        font_answers::replaceContents(pattern, answer.get());
        return;
      }
    }
  }
  FcConfig* page = pageConfigLocked(state);
  if (!page) return;
  detail::FcPatternHandle edited(FcPatternDuplicate(pattern));
  FcConfigSubstitute(page, edited.get(), FcMatchPattern);
  if (state.recording && key) {
    const detail::FcPatternHandle kept = leanerAnswer(state, edited.get());
    if (const auto text = kept ? font_answers::serialized(kept.get()) : std::nullopt) {
      state.requests.emplace(*key, *text);
    }
  }
  font_answers::replaceContents(pattern, edited.get());
}

// Paths whose change may change an answer: the configuration's files and
// folders, what they would include were it there, and the font folders.
std::vector<std::string> watchedPaths(FcConfig* page, const PageConfigText& text) {
  std::vector<std::string> paths{text.mainPath};
  for (const std::string& file : strings(FcConfigGetConfigFiles(page))) paths.push_back(file);
  for (const std::string& dir : strings(FcConfigGetFontDirs(page))) paths.push_back(dir);
  for (const std::string& dir : strings(FcConfigGetCacheDirs(page))) paths.push_back(dir);
  const std::string configDir = text.mainPath.substr(0, text.mainPath.rfind('/'));
  std::vector<std::string> sources{text.mainPath};
  sources.insert(sources.end(), text.files.begin(), text.files.end());
  for (const std::string& source : sources) {
    const std::optional<std::string> conf = readFile(source);
    if (!conf) continue;
    for (const std::string& target : fontconfig_xml::namedPaths(*conf)) {
      if (target.starts_with("xdg:")) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* data = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        const std::string rest = target.substr(4);
        if (config && config[0] == '/') paths.push_back(std::string(config) + "/" + rest);
        if (data && data[0] == '/') paths.push_back(std::string(data) + "/" + rest);
        if (home && home[0] == '/') {
          paths.push_back(std::string(home) + "/.config/" + rest);
          paths.push_back(std::string(home) + "/.local/share/" + rest);
        }
      } else if (target.starts_with("~/")) {
        if (const char* home = std::getenv("HOME")) paths.push_back(home + target.substr(1));
      } else if (target.starts_with("/")) {
        paths.push_back(target);
      } else {
        paths.push_back(configDir + "/" + target);
      }
    }
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

std::optional<font_answers::Saved> readAnswers(const std::string& path) {
  const std::optional<std::string> text = wholeFile(path, answersFileLimit, O_NOFOLLOW);
  return text ? font_answers::decoded(*text) : std::nullopt;
}

std::optional<font_answers::Saved> savedAnswers() {
  const std::optional<std::string> path = answersPath();
  std::optional<font_answers::Saved> saved = path ? readAnswers(*path) : std::nullopt;
  if (!saved || saved->signature != font_answers::signatureOf(saved->watched)) return std::nullopt;
  return saved;
}

// Whether answers can be derived and kept by this process: a user cache
// folder it may write.
bool mayKeepAnswers() {
  const std::optional<std::string> path = answersPath();
  if (!path) return false;
  const std::string dir = path->substr(0, path->rfind('/'));
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  return !error && ::access(dir.c_str(), W_OK) == 0;
}

bool setUpFromAnswers() {
  std::optional<font_answers::Saved> saved = savedAnswers();
  if (!saved) return false;
  detail::FcConfigHandle standIn = parsedConfig(saved->configuration);
  if (!standIn || FcConfigSetCurrent(standIn.get()) != FcTrue) return false;
  AnswerState& state = answerState();
  std::lock_guard lock(state.mutex);
  state.requests = std::move(saved->requests);
  state.configFiles = std::move(saved->configFiles);
  fontMode.store(FontMode::answers);
  return true;
}

// The answers kept for every user, where the system's configuration cannot
// be read (GNOME's thumbnail sandbox shows /usr but not /etc): they hold
// while the fonts are those they were derived with, and that configuration,
// kept with them, answers what they do not. Nothing of the user's own
// configuration or fonts is in them; such a sandbox shows neither.
bool setUpFromSystemAnswers() {
  const std::optional<std::string> path = systemAnswersPath();
  std::optional<font_answers::Saved> saved = path ? readAnswers(*path) : std::nullopt;
  if (!saved || saved->pageConfiguration.empty()) return false;
  AnswerState& state = answerState();
  std::lock_guard lock(state.mutex);
  state.keptPage = std::move(saved->pageConfiguration);
  state.pageTried = false;
  detail::FcConfigHandle standIn = parsedConfig(saved->configuration);
  if (standIn && fontsFingerprint(shapeableFonts(standIn.get()).get()) == saved->fonts &&
      FcConfigSetCurrent(standIn.get()) == FcTrue) {
    state.requests = std::move(saved->requests);
    fontMode.store(FontMode::answers);
    return true;
  }
  return usePageConfigLocked(state);
}

}  // namespace

namespace detail {

FcConfigHandle pageFontConfig() {
  const auto text = pageConfigText();
  return text ? parsedConfig(text->xml) : nullptr;
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
    if (!forEveryone.load() && setUpFromAnswers()) return true;
    {
      AnswerState& state = answerState();
      std::lock_guard lock(state.mutex);
      if (usePageConfigLocked(state)) return true;
      if (!state.pageMissing) return FcInit() == FcTrue;
    }
    if (!forEveryone.load() && setUpFromSystemAnswers()) return true;
    return FcInit() == FcTrue;
  }();
  (void)ready;
}

PangoFcSubstituteFunc fontRequestEditor() {
  return fontMode.load() == FontMode::answers ? &answerRequest : nullptr;
}

namespace {

// Derives the answers of every request `drawSamplePages` makes under the
// page's configuration, checking each against it; for every user of the
// system, with that configuration as one text and the fonts they hold.
std::optional<font_answers::Saved> derivedAnswers(const std::function<void()>& drawSamplePages,
                                                  bool everyone) {
  AnswerState& state = answerState();
  font_answers::Saved saved;
  detail::FcConfigHandle standIn;
  {
    std::lock_guard lock(state.mutex);
    FcConfig* page = pageConfigLocked(state);
    const std::optional<PageConfigText>& text = state.pageText;
    if (!text || !page) return std::nullopt;
    // The stand-in: every element of the page's configuration but those
    // that edit requests, whose edits the answers hold instead.
    std::optional<std::string> main = fontconfig_xml::withoutRequestEdits(text->mainText);
    std::string files;
    std::string whole;
    for (const std::string& file : text->files) {
      const std::optional<std::string> conf = readFile(file);
      const std::optional<std::string> kept =
          conf ? fontconfig_xml::withoutRequestEdits(*conf) : std::nullopt;
      const std::optional<std::string> all =
          conf && everyone ? fontconfig_xml::withoutIncludes(*conf) : std::string();
      if (!kept || !all) return std::nullopt;
      files += *kept;
      whole += *all;
    }
    const auto marker = main ? main->find(confDirMarker) : std::string::npos;
    if (marker == std::string::npos) return std::nullopt;
    main->replace(marker, confDirMarker.size(), files);
    saved.configuration = "<?xml version=\"1.0\"?>\n<fontconfig>\n" + *main + "\n</fontconfig>\n";
    if (everyone) {
      // The page's configuration with its files' elements in place of
      // their <include>s: the files may not be there to read.
      saved.pageConfiguration = text->mainText;
      saved.pageConfiguration.replace(text->mainText.find(confDirMarker), confDirMarker.size(),
                                      whole);
    }
    standIn = parsedConfig(saved.configuration);
    if (!standIn) return std::nullopt;
    // Files the page's configuration read beyond those above (a user's own)
    // could hold edits the stand-in lacks.
    std::set<std::string> known{text->mainPath};
    for (const std::string& file : text->files) {
      known.insert(file);
      if (char* real = ::realpath(file.c_str(), nullptr)) {
        known.insert(real);
        std::free(real);
      }
    }
    saved.configFiles = strings(FcConfigGetConfigFiles(page));
    for (const std::string& file : saved.configFiles) {
      struct stat status {};
      if (!known.contains(file) &&
          (::stat(file.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))) {
        return std::nullopt;
      }
    }
    // Answering a request anew reads the main file and lists conf.d.
    saved.configFiles.push_back(text->mainPath);
    for (const std::string& file : text->files) {
      saved.configFiles.push_back(file.substr(0, file.rfind('/')));
    }
    std::sort(saved.configFiles.begin(), saved.configFiles.end());
    saved.configFiles.erase(std::unique(saved.configFiles.begin(), saved.configFiles.end()),
                            saved.configFiles.end());
    state.pageFonts = shapeableFonts(page);
    state.standInFonts = shapeableFonts(standIn.get());
    if (!sameFonts(state.pageFonts.get(), state.standInFonts.get()) ||
        strings(FcConfigGetFontDirs(page)) != strings(FcConfigGetFontDirs(standIn.get())) ||
        strings(FcConfigGetCacheDirs(page)) != strings(FcConfigGetCacheDirs(standIn.get()))) {
      return std::nullopt;
    }
    if (everyone) saved.fonts = fontsFingerprint(state.standInFonts.get());
    for (int i = 0; i < state.pageFonts->nfont; ++i) {
      FcChar8* family = nullptr;
      for (int j = 0;
           FcPatternGetString(state.pageFonts->fonts[i], FC_FAMILY, j, &family) == FcResultMatch;
           ++j) {
        state.families.insert(foldedFamily(reinterpret_cast<const char*>(family)));
      }
    }
    saved.watched = watchedPaths(page, *text);
    saved.signature = font_answers::signatureOf(saved.watched);
    state.configFiles = saved.configFiles;
    state.standIn = standIn.get();
    state.recording = true;
    if (FcConfigSetCurrent(standIn.get()) != FcTrue) return std::nullopt;
    fontMode.store(FontMode::answers);
  }
  // A thread of its own, so that the pages are drawn with font maps made
  // for the stand-in, which the thread takes with it.
  std::thread(drawSamplePages).join();
  std::lock_guard lock(state.mutex);
  state.recording = false;
  state.standIn = nullptr;
  saved.requests = state.requests;
  return saved;
}

}  // namespace

void keepFontAnswers(const std::function<void()>& drawSamplePages) {
  setUpFontConfig();
  if (fontMode.load() != FontMode::page || !mayKeepAnswers()) return;
  if (const std::optional<font_answers::Saved> saved = derivedAnswers(drawSamplePages, false)) {
    ReplacementFile file(*answersPath(), 0600);
    if (file.open() == 0) file.commit(font_answers::encoded(*saved));
  }
}

std::string keepSystemFontAnswers(const std::function<void()>& drawSamplePages) {
  const std::optional<std::string> path = systemAnswersPath();
  if (!path) return "cannot tell where this program is installed";
  forEveryone.store(true);
  setUpFontConfig();
  if (fontMode.load() != FontMode::page) {
    return "the system's font configuration cannot be read as pages need it";
  }
  std::optional<font_answers::Saved> saved = derivedAnswers(drawSamplePages, true);
  if (!saved) return "the system's font configuration gives answers that cannot be kept";
  // Answers derived under another locale, for the same configuration and
  // fonts, are kept beside these: a request names its language.
  if (const std::optional<font_answers::Saved> earlier = readAnswers(*path)) {
    if (earlier->configuration == saved->configuration &&
        earlier->pageConfiguration == saved->pageConfiguration && earlier->fonts == saved->fonts) {
      saved->requests.insert(earlier->requests.begin(), earlier->requests.end());
    }
  }
  std::error_code error;
  std::filesystem::create_directories(path->substr(0, path->rfind('/')), error);
  if (error) return "cannot make the folder of " + *path + ": " + error.message();
  ReplacementFile file(*path, 0644);
  int failed = file.open();
  if (!failed) failed = file.commit(font_answers::encoded(*saved));
  if (failed) return "cannot write " + *path + ": " + std::generic_category().message(failed);
  return {};
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
  // A request without a saved answer is answered from the configuration's
  // files.
  if (fontMode.load() == FontMode::answers) {
    AnswerState& state = answerState();
    std::lock_guard lock(state.mutex);
    paths.insert(paths.end(), state.configFiles.begin(), state.configFiles.end());
  }
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
