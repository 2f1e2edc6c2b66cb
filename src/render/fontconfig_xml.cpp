// SPDX-License-Identifier: MIT
#include "render/fontconfig_xml.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

namespace tamsel::fontconfig_xml {
namespace {

// Every family a page's request can hold: those it asks for, and those that
// fontconfig's generic rules add to a request for them.
constexpr std::array requestFamilies{"sans-serif", "serif", "monospace", "emoji", "math", "Menlo"};
// The elements that fontconfig allows in a file besides <alias>.
constexpr std::array nonAliasElements{"match",   "selectfont", "dir",       "cachedir",
                                      "include", "config",     "remap-dir", "reset-dirs"};
// The families an alias applies to come before the lists it edits.
constexpr std::array aliasLists{"prefer", "accept", "default"};

constexpr std::string_view confDirName = "conf.d";
constexpr std::string_view confDirPathEnd = "/conf.d";
constexpr std::string_view confSuffix = ".conf";
constexpr std::string_view includeStart = "<include";
constexpr std::string_view includeEnd = "</include>";
constexpr std::string_view relativePrefix = "prefix=\"relative\"";

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

}  // namespace

std::optional<int> confFileNumber(std::string_view name) {
  if (name.size() <= confSuffix.size() || !name.ends_with(confSuffix)) return std::nullopt;
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error != std::errc() || end == name.data()) return std::nullopt;
  return number;
}

// One pass over the tags; read as plain text, a comment can only make the
// file look like more than it is.
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

std::optional<ConfDirInclude> findConfDirInclude(std::string_view fontsConf) {
  if (fontsConf.find(relativePrefix) != std::string_view::npos) return std::nullopt;
  for (auto begin = fontsConf.find(includeStart); begin != std::string_view::npos;
       begin = fontsConf.find(includeStart, begin + 1)) {
    const auto open = fontsConf.find('>', begin);
    const auto close = fontsConf.find(includeEnd, begin);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
    const std::string_view target = trimmed(fontsConf.substr(open + 1, close - open - 1));
    if (target == confDirName || target.ends_with(confDirPathEnd)) {
      return ConfDirInclude{
          .begin = begin, .end = close + includeEnd.size(), .target = std::string(target)};
    }
  }
  return std::nullopt;
}

namespace {

// One tag from `open` (at its '<'): its name, where it ends (after its
// '>'), and whether it closes an element or is one alone. Quoted attribute
// values may hold '>'.
struct Tag {
  std::string_view name;
  std::size_t end = 0;
  bool closing = false;
  bool empty = false;
};

std::optional<Tag> tagAt(std::string_view text, std::size_t open) {
  Tag tag;
  std::size_t at = open + 1;
  if (at < text.size() && text[at] == '/') {
    tag.closing = true;
    ++at;
  }
  const std::size_t nameStart = at;
  while (at < text.size() && text[at] != '>' && text[at] != '/' &&
         static_cast<unsigned char>(text[at]) > ' ') {
    ++at;
  }
  tag.name = text.substr(nameStart, at - nameStart);
  char quote = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      tag.empty = at > open && text[at - 1] == '/';
      tag.end = at + 1;
      return tag.name.empty() ? std::nullopt : std::optional<Tag>(tag);
    }
  }
  return std::nullopt;
}

// Skips a comment, declaration or processing instruction at `open`; the
// position after it, or `open` when there is none there.
std::optional<std::size_t> afterMarkup(std::string_view text, std::size_t open) {
  const std::string_view rest = text.substr(open);
  if (rest.starts_with("<!--")) {
    const auto end = text.find("-->", open + 4);
    if (end == std::string_view::npos) return std::nullopt;
    return end + 3;
  }
  if (rest.starts_with("<![CDATA[")) return std::nullopt;
  if (rest.starts_with("<?") || rest.starts_with("<!")) {
    const auto end = text.find('>', open);
    if (end == std::string_view::npos) return std::nullopt;
    return end + 1;
  }
  return open;
}

std::string_view attribute(std::string_view tagText, std::string_view name) {
  for (std::size_t at = tagText.find(name); at != std::string_view::npos;
       at = tagText.find(name, at + 1)) {
    const std::size_t equals = at + name.size();
    if (at == 0 || static_cast<unsigned char>(tagText[at - 1]) > ' ' ||
        equals + 1 >= tagText.size() || tagText[equals] != '=') {
      continue;
    }
    const char quote = tagText[equals + 1];
    if (quote != '"' && quote != '\'') continue;
    const auto end = tagText.find(quote, equals + 2);
    if (end != std::string_view::npos) return tagText.substr(equals + 2, end - equals - 2);
  }
  return {};
}

bool editsRequests(std::string_view name, std::string_view tagText) {
  if (name == "alias" || name == "include" || name == "description") return true;
  if (name != "match") return false;
  const std::string_view target = attribute(tagText, "target");
  return target.empty() || target == "pattern";
}

bool includesOrDescribes(std::string_view name, std::string_view) {
  return name == "include" || name == "description";
}

// The elements below the root of `conf` but those `drops`, each as written.
std::optional<std::string> elementsBut(std::string_view conf,
                                       bool (*drops)(std::string_view, std::string_view)) {
  std::string kept;
  int depth = 0;  // 1 inside the root
  std::size_t elementStart = 0;
  bool dropping = false;
  for (std::size_t open = conf.find('<'); open != std::string_view::npos;
       open = conf.find('<', open)) {
    const auto skipped = afterMarkup(conf, open);
    if (!skipped) return std::nullopt;
    if (*skipped != open) {
      open = *skipped;
      continue;
    }
    const auto tag = tagAt(conf, open);
    if (!tag) return std::nullopt;
    const std::string_view tagText = conf.substr(open, tag->end - open);
    if (tag->closing) {
      if (--depth < 0) return std::nullopt;
      if (depth == 1 && !dropping) kept.append(conf.substr(elementStart, tag->end - elementStart));
      if (depth == 0) return kept;
    } else {
      if (depth == 0 && tag->name != "fontconfig") return std::nullopt;
      if (depth == 1) {
        elementStart = open;
        dropping = drops(tag->name, tagText);
        if (!dropping && attribute(tagText, "prefix") == "relative") return std::nullopt;
        if (tag->empty) {
          if (!dropping) kept.append(tagText);
          open = tag->end;
          continue;
        }
      } else if (!dropping && attribute(tagText, "prefix") == "relative") {
        return std::nullopt;
      }
      if (!tag->empty) ++depth;
    }
    open = tag->end;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> withoutRequestEdits(std::string_view conf) {
  return elementsBut(conf, editsRequests);
}

std::optional<std::string> withoutIncludes(std::string_view conf) {
  return elementsBut(conf, includesOrDescribes);
}

std::vector<std::string> namedPaths(std::string_view conf) {
  std::vector<std::string> paths;
  for (std::size_t open = conf.find('<'); open != std::string_view::npos;
       open = conf.find('<', open + 1)) {
    const auto tag = tagAt(conf, open);
    if (!tag || tag->closing || tag->empty ||
        (tag->name != "dir" && tag->name != "cachedir" && tag->name != "include")) {
      continue;
    }
    const auto close = conf.find('<', tag->end);
    if (close == std::string_view::npos) break;
    const std::string_view target = trimmed(conf.substr(tag->end, close - tag->end));
    const std::string_view prefix = attribute(conf.substr(open, tag->end - open), "prefix");
    paths.push_back((prefix == "xdg" ? "xdg:" : "") + std::string(target));
  }
  return paths;
}

std::string escaped(std::string_view text) {
  std::string result;
  for (const char c : text) {
    switch (c) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      default:
        result += c;
    }
  }
  return result;
}

}  // namespace tamsel::fontconfig_xml
