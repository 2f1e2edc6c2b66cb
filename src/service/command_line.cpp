// SPDX-License-Identifier: MIT
#include "service/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_url.h"

namespace tamsel {
namespace {

constexpr std::string_view usage =
    R"(Usage: tamsel-thumbnail [-s SIZE] INPUT OUTPUT
       tamsel-thumbnail --skim INPUT
       tamsel-thumbnail --cache [--flavor LIST] [-j N] [--force] PATH...
Draws a thumbnail page of a Markdown or plain-text document.

  INPUT            a file path, or a file:// URL (percent-decoded); write
                   ./file:name for a file whose name starts with "file:"
  OUTPUT           .svg or .pdf by extension, else PNG; an existing empty file
                   is filled in place, another regular file replaced at once
  -s, --size SIZE  fit the page into SIZE x SIZE pixels (default 256)
  --max WxH        fit the page into W x H pixels (WxH or one number)
  --min WxH        then raise each side to at least W and H (default 0x0)
  --skim           print the skim of INPUT as JSON instead of drawing
  --cache          fill the shared thumbnail cache for each PATH (a file or a
                   folder, recursed) in each flavor of LIST, comma-separated:
                   normal, large (default), x-large, xx-large; -j N workers
                   (default: one per core); --force: redo fresh and failed
  --keep-font-answers  (root) keep the system's font answers for GNOME's sandbox
  --               end of options (for file names starting with "-")
  -h, --help, --version    show this text or the version

The image is the page (0.773 as wide as tall) rounded up to whole pixels, at
most 4096 on either side. An INPUT that cannot be read is an error.
Exit status: 0 on success, 1 on any error (one line on standard error).
)";

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = asciiLower(c);
  return lower;
}

std::string formatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string badSize(std::string_view option, std::string_view value, std::string_view expected) {
  return "invalid size " + quotedPath(value) + " for " + std::string(option) + ": expected " +
         std::string(expected);
}

bool positive(Size size) {
  return size.width > 0 && size.height > 0;
}
bool nonNegative(Size size) {
  return size.width >= 0 && size.height >= 0;
}

// The actions an option may be given with, as bits.
enum Actions : unsigned {
  drawing = 1u << 0,
  skimming = 1u << 1,
  caching = 1u << 2,
  keeping = 1u << 3,
  anyAction = drawing | skimming | caching | keeping,
};

unsigned bitOf(Action action) {
  switch (action) {
    case Action::thumbnail:
      return drawing;
    case Action::skim:
      return skimming;
    case Action::cache:
      return caching;
    case Action::keepFontAnswers:
      return keeping;
    case Action::help:
    case Action::version:
      break;
  }
  return anyAction;
}

// Applies an option's value (empty for one without) to the line; returns a
// usage error, or nothing. `name` is the option as spelled.
using ApplyOption = std::optional<std::string> (*)(CommandLine& line, std::string_view name,
                                                   std::string_view value);

std::optional<std::string> setSize(CommandLine& line, std::string_view name,
                                   std::string_view value) {
  const auto side = parseNumber(value);
  if (!side || *side <= 0) return badSize(name, value, "a positive number");
  line.maximum = {.width = *side, .height = *side};
  return std::nullopt;
}

std::optional<std::string> setMaximum(CommandLine& line, std::string_view name,
                                      std::string_view value) {
  const auto size = parseSizePair(value);
  if (!size || !positive(*size)) return badSize(name, value, "WxH, two positive numbers");
  line.maximum = *size;
  return std::nullopt;
}

std::optional<std::string> setMinimum(CommandLine& line, std::string_view name,
                                      std::string_view value) {
  const auto size = parseSizePair(value);
  if (!size || !nonNegative(*size)) return badSize(name, value, "WxH, two numbers of at least 0");
  line.minimum = *size;
  return std::nullopt;
}

std::optional<std::string> chooseAction(CommandLine& line, Action action) {
  if (line.action != Action::thumbnail && line.action != action) {
    return line.action == Action::keepFontAnswers || action == Action::keepFontAnswers
               ? "--keep-font-answers goes alone (try --help)"
               : "--skim and --cache cannot be used together (try --help)";
  }
  line.action = action;
  return std::nullopt;
}

std::optional<std::string> chooseSkim(CommandLine& line, std::string_view, std::string_view) {
  return chooseAction(line, Action::skim);
}

std::optional<std::string> chooseCache(CommandLine& line, std::string_view, std::string_view) {
  return chooseAction(line, Action::cache);
}

std::optional<std::string> chooseKeep(CommandLine& line, std::string_view, std::string_view) {
  return chooseAction(line, Action::keepFontAnswers);
}

std::optional<std::string> setFlavors(CommandLine& line, std::string_view, std::string_view value) {
  const auto flavors = parseFlavorList(value);
  if (!flavors) {
    return "unknown flavor in " + quotedPath(value) +
           ": expected normal, large, x-large or xx-large, comma-separated";
  }
  line.cache.flavors = *flavors;
  return std::nullopt;
}

std::optional<std::string> setJobs(CommandLine& line, std::string_view name,
                                   std::string_view value) {
  const auto jobs = parseJobs(value);
  if (!jobs) {
    return "invalid count " + quotedPath(value) + " for " + std::string(name) +
           ": expected a whole number from 1 to " + std::to_string(maxCacheJobs);
  }
  line.cache.jobs = *jobs;
  return std::nullopt;
}

std::optional<std::string> setForce(CommandLine& line, std::string_view, std::string_view) {
  line.cache.force = true;
  return std::nullopt;
}

// -h, --help and --version are acted on before anything else is parsed.
std::optional<std::string> nothing(CommandLine&, std::string_view, std::string_view) {
  return std::nullopt;
}

struct Option {
  std::string_view name;       // "--size"
  std::string_view shortName;  // "-s", or empty
  bool takesValue;
  unsigned actions;  // the Actions it may be given with
  ApplyOption apply;
};

// Every option of every action, one a line.
// clang-format off
constexpr Option options[] = {
    // name        short  value  actions    apply
    {"--size",     "-s",  true,  drawing,   setSize},
    {"--max",      "",    true,  drawing,   setMaximum},
    {"--min",      "",    true,  drawing,   setMinimum},
    {"--skim",     "",    false, skimming,  chooseSkim},
    {"--cache",    "",    false, caching,   chooseCache},
    {"--flavor",   "",    true,  caching,   setFlavors},
    {"--jobs",     "-j",  true,  caching,   setJobs},
    {"--force",    "",    false, caching,   setForce},
    {"--keep-font-answers", "", false, keeping, chooseKeep},
    {"--help",     "-h",  false, anyAction, nothing},
    {"--version",  "",    false, anyAction, nothing},
};
// clang-format on

const Option* findOption(std::string_view name) {
  for (const Option& option : options) {
    if (name == option.name || (!option.shortName.empty() && name == option.shortName)) {
      return &option;
    }
  }
  return nullptr;
}

// Why `option` does not go with `action`, in one line.
std::string misplaced(const Option& option, std::string_view spelled, Action action) {
  if (option.actions == caching) return "option " + std::string(spelled) + " needs --cache";
  return "option " + std::string(spelled) + " cannot be used with " +
         (action == Action::cache             ? "--cache"
          : action == Action::keepFontAnswers ? "--keep-font-answers"
                                              : "--skim");
}

std::optional<Action> askedForHelp(std::span<const char* const> args) {
  for (const std::string_view arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return Action::help;
    if (arg == "--version") return Action::version;
  }
  return std::nullopt;
}

std::optional<std::string> takeOperands(CommandLine& line,
                                        const std::vector<std::string_view>& operands) {
  switch (line.action) {
    case Action::cache:
      if (operands.empty()) return "--cache needs at least one file or folder (try --help)";
      line.cache.paths.assign(operands.begin(), operands.end());
      return std::nullopt;
    case Action::skim:
      if (operands.size() != 1) return "--skim takes exactly one INPUT (try --help)";
      line.input = operands[0];
      return std::nullopt;
    case Action::keepFontAnswers:
      if (!operands.empty()) return "--keep-font-answers takes no arguments (try --help)";
      return std::nullopt;
    case Action::thumbnail:
      break;
    case Action::help:
    case Action::version:
      return std::nullopt;
  }
  if (operands.size() != 2) {
    return operands.empty()       ? "missing INPUT and OUTPUT (try --help)"
           : operands.size() == 1 ? "missing OUTPUT (try --help)"
                                  : "too many arguments (try --help)";
  }
  line.input = operands[0];
  line.output = operands[1];

  const Size page = thumbnailSize(line.maximum, line.minimum);
  if (std::ceil(page.width) > pageSideLimit || std::ceil(page.height) > pageSideLimit) {
    return "page size " + formatNumber(page.width) + "x" + formatNumber(page.height) +
           " exceeds the limit of " + formatNumber(pageSideLimit) + " pixels per side";
  }
  return std::nullopt;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<Size> parseSizePair(std::string_view text) {
  const auto cross = text.find_first_of("xX");
  if (cross == std::string_view::npos) {
    const auto side = parseNumber(text);
    if (!side) return std::nullopt;
    return Size{.width = *side, .height = *side};
  }
  const auto width = parseNumber(text.substr(0, cross));
  const auto height = parseNumber(text.substr(cross + 1));
  if (!width || !height) return std::nullopt;
  return Size{.width = *width, .height = *height};
}

std::variant<CommandLine, std::string> parseCommandLine(std::span<const char* const> args) {
  CommandLine line;
  if (const auto help = askedForHelp(args)) {
    line.action = *help;
    return line;
  }

  std::vector<std::string_view> operands;
  std::vector<std::pair<const Option*, std::string_view>> given;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      for (++i; i < args.size(); ++i) operands.push_back(args[i]);
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }

    // "-s 256", "-s256", "--size 256", "--size=256".
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (arg.starts_with("--")) {
      if (const auto eq = arg.find('='); eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
    }
    const Option* option = findOption(name);
    if (!option) return "unknown option " + quotedPath(arg) + " (try --help)";
    if (!option->takesValue && value) {
      return "option " + std::string(name) + " takes no value, not " + quotedPath(*value);
    }
    if (option->takesValue && !value) {
      if (i + 1 == args.size()) return "option " + std::string(name) + " needs a value";
      value = args[++i];
    }
    if (auto error = option->apply(line, name, value.value_or(""))) return *error;
    given.emplace_back(option, name);
  }

  for (const auto& [option, name] : given) {
    if (!(option->actions & bitOf(line.action))) return misplaced(*option, name, line.action);
  }
  if (auto error = takeOperands(line, operands)) return *error;
  return line;
}

std::optional<std::string> inputPath(std::string_view input) {
  constexpr std::string_view scheme = "file:";
  const bool isFileURL = input.size() >= scheme.size() &&
                         std::equal(scheme.begin(), scheme.end(), input.begin(),
                                    [](char a, char b) { return a == asciiLower(b); });
  if (isFileURL) return filePathFromURL(input);
  if (isOtherURL(input)) return std::nullopt;
  return std::string(input);
}

bool isOtherURL(std::string_view input) {
  // Only "scheme://": a bare "scheme:" is too common at the start of a file
  // name ("notes:todo.md", "Re: plans.md") to be taken for a URL.
  const auto colon = input.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view scheme = input.substr(0, colon);
  const auto isLetter = [](char c) { return asciiLower(c) >= 'a' && asciiLower(c) <= 'z'; };
  const auto isSchemeChar = [&](char c) {
    return isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  };
  return isLetter(scheme[0]) && std::all_of(scheme.begin(), scheme.end(), isSchemeChar) &&
         asciiLower(scheme) != "file";
}

DrawnFormat outputFormat(std::string_view output) {
  const auto dot = output.rfind('.');
  const auto slash = output.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return DrawnFormat::png;
  }
  const std::string extension = asciiLower(output.substr(dot + 1));
  if (extension == "svg") return DrawnFormat::svg;
  if (extension == "pdf") return DrawnFormat::pdf;
  return DrawnFormat::png;
}

std::string quotedPath(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

std::string_view usageText() {
  return usage;
}

}  // namespace tamsel
