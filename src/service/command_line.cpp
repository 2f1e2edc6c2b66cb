#include "service/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/file_url.h"

namespace tamsel {
namespace {

constexpr std::string_view usage =
    R"(Usage: tamsel-thumbnail [-s SIZE] INPUT OUTPUT
       tamsel-thumbnail --skim INPUT
       tamsel-thumbnail --cache [--flavor FLAVOR] [-j N] PATH...
Draws a thumbnail page of a Markdown or plain-text document.

  INPUT            a file path, or a file:// URL (percent-decoded); write
                   ./file:name for a file whose name starts with "file:"
  OUTPUT           the image to write: .svg or .pdf by extension, else PNG;
                   replaced all at once, never left half-written
  -s, --size SIZE  fit the page into SIZE x SIZE pixels (default 256)
  --max WxH        fit the page into W x H pixels (WxH or one number)
  --min WxH        then raise each side to at least W and H (default 0x0)
  --skim           print the skim of INPUT as JSON instead of drawing
  --cache          fill the shared thumbnail cache for each PATH (a file or a
                   folder, recursed); FLAVOR normal, large (default), x-large
                   or xx-large; -j N workers (default: one per core)
  --               end of options (for file names starting with "-")
  -h, --help, --version    show this text or the version

The page is 0.773 as wide as it is tall; the image is the page's size rounded
up to whole pixels, at most 4096 on either side. Sizes are decimal numbers.
An INPUT that cannot be read (or is not a regular file) is an error.
Exit status: 0 on success, 1 on any error (one line on standard error).
)";

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
  std::vector<std::string_view> operands;
  bool skim = false;

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
    if (arg == "-h" || arg == "--help" || arg == "--version") {
      line.action = arg == "--version" ? Action::version : Action::help;
      return line;
    }
    if (arg == "--skim") {
      skim = true;
      continue;
    }

    // Options with a value: "-s 256", "-s256", "--size 256", "--size=256".
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
    if (name != "-s" && name != "--size" && name != "--max" && name != "--min") {
      return "unknown option " + quotedPath(arg) + " (try --help)";
    }
    if (!value) {
      if (i + 1 == args.size()) return "option " + std::string(name) + " needs a value";
      value = args[++i];
    }

    if (name == "--min") {
      const auto size = parseSizePair(*value);
      if (!size || !nonNegative(*size)) {
        return badSize(name, *value, "WxH, two numbers of at least 0");
      }
      line.minimum = *size;
    } else if (name == "--max") {
      const auto size = parseSizePair(*value);
      if (!size || !positive(*size)) return badSize(name, *value, "WxH, two positive numbers");
      line.maximum = *size;
    } else {
      const auto side = parseNumber(*value);
      if (!side || *side <= 0) return badSize(name, *value, "a positive number");
      line.maximum = {.width = *side, .height = *side};
    }
  }

  if (skim) {
    if (operands.size() != 1) return "--skim takes exactly one INPUT (try --help)";
    line.action = Action::skim;
    line.input = operands[0];
    return line;
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
  return line;
}

std::optional<std::string> inputPath(std::string_view input) {
  constexpr std::string_view scheme = "file:";
  const bool isURL = input.size() >= scheme.size() &&
                     std::equal(scheme.begin(), scheme.end(), input.begin(), [](char a, char b) {
                       return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
                     });
  if (!isURL) return std::string(input);
  return filePathFromURL(input);
}

OutputKind outputKind(std::string_view output) {
  const auto dot = output.rfind('.');
  const auto slash = output.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return OutputKind::png;
  }
  std::string extension(output.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == "svg") return OutputKind::svg;
  if (extension == "pdf") return OutputKind::pdf;
  return OutputKind::png;
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
