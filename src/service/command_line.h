// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "drawer/drawer_protocol.h"
#include "drawer/thumbnail_size.h"
#include "service/cache/cache_options.h"

namespace tamsel {

// Side of the largest page the command line accepts, in pixels. Four times
// the largest thumbnail hosts ask for (1024); a page this size is about
// 50 MiB of pixels, where the renderer's own limit would allow 1 GiB from a
// single mistyped size.
constexpr double pageSideLimit = 4'096;

// Square maximum used when no size is given, as thumbnail hosts expect.
constexpr double defaultThumbnailSide = 256;

enum class Action { thumbnail, skim, cache, keepFontAnswers, help, version };

// What one command line asks for. `input` is as given (a path or a URL), set
// for Action::thumbnail and Action::skim; `output` only for Action::thumbnail;
// `cache` (with its paths) only for Action::cache.
struct CommandLine {
  Action action = Action::thumbnail;
  Size maximum{.width = defaultThumbnailSide, .height = defaultThumbnailSide};
  Size minimum;
  std::string input;
  std::string output;
  CacheOptions cache;
};

// Parses the arguments after the program name, for every action, from one
// table of options. Options and operands come in any order until "--";
// "-s 256", "-s256", "--size 256" and "--size=256" are all one option.
// "-h"/"--help" or "--version" anywhere before "--" asks for that, whatever
// else is wrong. An option of another action than the one asked for
// ("--flavor" without "--cache") is an error. On a usage error returns a
// one-line message without program name or line break, with every piece of
// user text quoted by quotedPath.
std::variant<CommandLine, std::string> parseCommandLine(std::span<const char* const> args);

// A finite number written in decimal, nothing before or after it ("12",
// "0.5", "1e2"). nullopt for junk, trailing garbage, NaN or infinity.
std::optional<double> parseNumber(std::string_view text);

// "WxH" (either side a number as parseNumber reads it) or a single number for
// a square. nullopt on any malformed input; sign is not checked here.
std::optional<Size> parseSizePair(std::string_view text);

// The local path INPUT names: a file URL (any argument starting "file:") is
// percent-decoded; another URL ("scheme://...", the scheme as URLs spell it)
// names no local file; anything else is a path as it stands. nullopt for a
// URL that names no local file.
std::optional<std::string> inputPath(std::string_view input);

// Whether INPUT is a URL of another scheme than "file:" ("http://...").
bool isOtherURL(std::string_view input);

// Which encoder OUTPUT's extension picks (case-insensitive): ".svg", ".pdf",
// else PNG.
DrawnFormat outputFormat(std::string_view output);

// A path or option value made safe for a one-line message: wrapped in single
// quotes, control characters written as \n, \t or \xNN, so an argument can
// never break the line.
std::string quotedPath(std::string_view text);

// The --help text, ending in a line break; fits one terminal screen.
std::string_view usageText();

}  // namespace tamsel
