// SPDX-License-Identifier: MIT
#include "render/font_answers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace tamsel::font_answers {
namespace {

constexpr std::string_view formatLine = "tamsel font answers 1\n";

// What fontconfig reads from the environment: where the user's files are,
// and the languages a request gets when it names none.
constexpr std::array environment{"HOME",    "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "FC_LANG", "LC_ALL",          "LC_CTYPE",      "LANG",
                                 "LANGUAGE"};

// Doubles in hexadecimal, which reads back bit for bit.
std::string exact(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

std::optional<double> exactFrom(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || copy.empty()) return std::nullopt;
  return value;
}

// Strings may hold anything but NUL; tabs, line ends and backslashes are
// escaped so that a value stays on its line.
std::string escapedLine(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> unescapedLine(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<std::string> valueText(const FcValue& value) {
  std::string out;
  switch (value.type) {
    case FcTypeInteger:
      out.append("i\t").append(std::to_string(value.u.i));
      return out;
    case FcTypeDouble:
      out.append("d\t").append(exact(value.u.d));
      return out;
    case FcTypeString:
      out.append("s\t").append(escapedLine(reinterpret_cast<const char*>(value.u.s)));
      return out;
    case FcTypeBool:
      out.append("b\t").append(std::to_string(value.u.b));
      return out;
    case FcTypeMatrix:
      out.append("m\t").append(exact(value.u.m->xx)).append(" ").append(exact(value.u.m->xy));
      out.append(" ").append(exact(value.u.m->yx)).append(" ").append(exact(value.u.m->yy));
      return out;
    case FcTypeRange: {
      double begin = 0;
      double end = 0;
      if (!FcRangeGetDouble(value.u.r, &begin, &end)) return std::nullopt;
      out.append("r\t").append(exact(begin)).append(" ").append(exact(end));
      return out;
    }
    default:
      return std::nullopt;
  }
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// Adds one line of `serialized`'s to `pattern`.
bool addLine(FcPattern* pattern, std::string_view line) {
  const auto fields = split(line, '\t');
  if (fields.size() != 4) return false;
  const std::string object(fields[0]);
  const std::string_view type = fields[2];
  const std::string_view text = fields[3];
  FcValue value{};
  std::optional<std::string> string;
  FcMatrix matrix;
  std::unique_ptr<FcRange, decltype(&FcRangeDestroy)> range(nullptr, FcRangeDestroy);
  if (type == "i" || type == "b") {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    value.type = type == "i" ? FcTypeInteger : FcTypeBool;
    if (type == "i") {
      value.u.i = number;
    } else {
      value.u.b = number;
    }
  } else if (type == "d") {
    const auto number = exactFrom(text);
    if (!number) return false;
    value.type = FcTypeDouble;
    value.u.d = *number;
  } else if (type == "s") {
    string = unescapedLine(text);
    if (!string) return false;
    value.type = FcTypeString;
    value.u.s = reinterpret_cast<const FcChar8*>(string->c_str());
  } else if (type == "m" || type == "r") {
    const auto numbers = split(text, ' ');
    std::array<double, 4> parsed{};
    if (numbers.size() != (type == "m" ? 4U : 2U)) return false;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      const auto number = exactFrom(numbers[i]);
      if (!number) return false;
      parsed[i] = *number;
    }
    if (type == "m") {
      matrix = {parsed[0], parsed[1], parsed[2], parsed[3]};
      value.type = FcTypeMatrix;
      value.u.m = &matrix;
    } else {
      range.reset(FcRangeCreateDouble(parsed[0], parsed[1]));
      if (!range) return false;
      value.type = FcTypeRange;
      value.u.r = range.get();
    }
  } else {
    return false;
  }
  if (fields[1] != "s" && fields[1] != "w") return false;
  // The value is copied.
  return addValue(pattern, object.c_str(), value,
                  fields[1] == "s" ? FcValueBindingStrong : FcValueBindingWeak);
}

void appendRecord(std::string& out, std::string_view tag, std::string_view body) {
  out.append(tag);
  out += ' ';
  out += std::to_string(body.size());
  out += '\n';
  out.append(body);
  out += '\n';
}

}  // namespace

std::optional<std::string> serialized(const FcPattern* pattern) {
  std::string out;
  const bool whole =
      forEachValue(pattern, [&](const char* object, const FcValue& value, FcValueBinding binding) {
        const auto text = valueText(value);
        if (!text || (binding != FcValueBindingStrong && binding != FcValueBindingWeak)) {
          return false;
        }
        out += object;
        out += binding == FcValueBindingStrong ? "\ts\t" : "\tw\t";
        out += *text;
        out += '\n';
        return true;
      });
  if (!whole) return std::nullopt;
  return out;
}

FcPattern* deserialized(std::string_view text) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos || !addLine(pattern, text.substr(0, end))) {
      FcPatternDestroy(pattern);
      return nullptr;
    }
    text.remove_prefix(end + 1);
  }
  return pattern;
}

bool forEachValue(const FcPattern* pattern,
                  const std::function<bool(const char*, const FcValue&, FcValueBinding)>& visit) {
  FcPatternIter iter;
  FcPatternIterStart(pattern, &iter);
  if (!FcPatternIterIsValid(pattern, &iter)) return true;
  do {
    const char* object = FcPatternIterGetObject(pattern, &iter);
    const int count = FcPatternIterValueCount(pattern, &iter);
    for (int i = 0; i < count; ++i) {
      FcValue value;
      FcValueBinding binding;
      if (FcPatternIterGetValue(pattern, &iter, i, &value, &binding) != FcResultMatch ||
          !visit(object, value, binding)) {
        return false;
      }
    }
  } while (FcPatternIterNext(pattern, &iter));
  return true;
}

bool addValue(FcPattern* pattern, const char* object, const FcValue& value,
              FcValueBinding binding) {
  // fontconfig has no public way to add a value of "same" binding; edits
  // have resolved every such binding to strong or weak by then.
  return (binding == FcValueBindingWeak ? FcPatternAddWeak(pattern, object, value, FcTrue)
                                        : FcPatternAdd(pattern, object, value, FcTrue)) == FcTrue;
}

void replaceContents(FcPattern* target, const FcPattern* source) {
  std::vector<std::string> objects;
  forEachValue(target, [&](const char* object, const FcValue&, FcValueBinding) {
    if (objects.empty() || objects.back() != object) objects.emplace_back(object);
    return true;
  });
  for (const std::string& object : objects) FcPatternDel(target, object.c_str());
  forEachValue(source, [&](const char* object, const FcValue& value, FcValueBinding binding) {
    addValue(target, object, value, binding);
    return true;
  });
}

std::string encoded(const Saved& saved) {
  std::string out(formatLine);
  appendRecord(out, "signature", saved.signature);
  for (const std::string& path : saved.watched) appendRecord(out, "watch", path);
  for (const std::string& path : saved.configFiles) appendRecord(out, "file", path);
  appendRecord(out, "configuration", saved.configuration);
  if (!saved.pageConfiguration.empty()) appendRecord(out, "page", saved.pageConfiguration);
  if (!saved.fonts.empty()) appendRecord(out, "fonts", saved.fonts);
  for (const auto& [request, answer] : saved.requests) {
    appendRecord(out, "request", request);
    appendRecord(out, "answer", answer);
  }
  return out;
}

std::optional<Saved> decoded(std::string_view text) {
  if (!text.starts_with(formatLine)) return std::nullopt;
  text.remove_prefix(formatLine.size());
  Saved saved;
  std::optional<std::string> request;
  while (!text.empty()) {
    const auto space = text.find(' ');
    const auto lineEnd = text.find('\n');
    if (space == std::string_view::npos || lineEnd == std::string_view::npos || lineEnd < space) {
      return std::nullopt;
    }
    const std::string_view tag = text.substr(0, space);
    std::size_t length = 0;
    const auto [end, error] =
        std::from_chars(text.data() + space + 1, text.data() + lineEnd, length);
    if (error != std::errc() || end != text.data() + lineEnd ||
        length > text.size() - lineEnd - 1 || text.size() - lineEnd - 1 - length < 1 ||
        text[lineEnd + 1 + length] != '\n') {
      return std::nullopt;
    }
    std::string body(text.substr(lineEnd + 1, length));
    text.remove_prefix(lineEnd + 2 + length);
    if (tag == "signature") {
      saved.signature = std::move(body);
    } else if (tag == "watch") {
      saved.watched.push_back(std::move(body));
    } else if (tag == "file") {
      saved.configFiles.push_back(std::move(body));
    } else if (tag == "configuration") {
      saved.configuration = std::move(body);
    } else if (tag == "page") {
      saved.pageConfiguration = std::move(body);
    } else if (tag == "fonts") {
      saved.fonts = std::move(body);
    } else if (tag == "request" && !request) {
      request = std::move(body);
    } else if (tag == "answer" && request) {
      saved.requests.emplace(std::move(*request), std::move(body));
      request.reset();
    } else {
      return std::nullopt;
    }
  }
  if (request || saved.configuration.empty()) return std::nullopt;
  return saved;
}

std::string signatureOf(const std::vector<std::string>& paths) {
  std::string out = "fontconfig ";
  out.append(std::to_string(FcGetVersion())).append(" user ").append(std::to_string(::geteuid()));
  out += '\n';
  for (const char* name : environment) {
    const char* value = std::getenv(name);
    out += name;
    if (value) {
      out.append("=").append(escapedLine(value));
    } else {
      out.append(" unset");
    }
    out += '\n';
  }
  for (const std::string& path : paths) {
    struct stat status {};
    out += escapedLine(path);
    if (::stat(path.c_str(), &status) != 0) {
      out += " absent\n";
      continue;
    }
    for (const auto number :
         {static_cast<long long>(status.st_dev), static_cast<long long>(status.st_ino),
          static_cast<long long>(status.st_mode), static_cast<long long>(status.st_size),
          static_cast<long long>(status.st_mtim.tv_sec),
          static_cast<long long>(status.st_mtim.tv_nsec),
          static_cast<long long>(status.st_ctim.tv_sec),
          static_cast<long long>(status.st_ctim.tv_nsec)}) {
      out.append(" ").append(std::to_string(number));
    }
    out += '\n';
  }
  return out;
}

}  // namespace tamsel::font_answers
