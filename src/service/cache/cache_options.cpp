#include "service/cache/cache_options.h"

#include <array>
#include <charconv>
#include <utility>

namespace tamsel {
namespace {

struct FlavorInfo {
  CacheFlavor flavor;
  std::string_view name;
  int maximum;
};

constexpr std::array<FlavorInfo, 4> flavors{{
    {.flavor = CacheFlavor::normal, .name = "normal", .maximum = 128},
    {.flavor = CacheFlavor::large, .name = "large", .maximum = 256},
    {.flavor = CacheFlavor::xLarge, .name = "x-large", .maximum = 512},
    {.flavor = CacheFlavor::xxLarge, .name = "xx-large", .maximum = 1024},
}};

const FlavorInfo& infoOf(CacheFlavor flavor) {
  for (const auto& info : flavors) {
    if (info.flavor == flavor) return info;
  }
  return flavors[0];
}

std::optional<unsigned> parseJobs(std::string_view text) {
  unsigned value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > maxCacheJobs) return std::nullopt;
  return value;
}

// Splits "--name=value" and "-jN" forms; `value` is empty when the option's
// value is the next word.
struct OptionWord {
  std::string_view name;
  std::optional<std::string_view> value;
};

OptionWord splitOption(std::string_view word) {
  if (word.starts_with("--")) {
    const auto equals = word.find('=');
    if (equals == std::string_view::npos) return {.name = word, .value = std::nullopt};
    return {.name = word.substr(0, equals), .value = word.substr(equals + 1)};
  }
  if (word.size() > 2) return {.name = word.substr(0, 2), .value = word.substr(2)};
  return {.name = word, .value = std::nullopt};
}

}  // namespace

std::string_view flavorName(CacheFlavor flavor) {
  return infoOf(flavor).name;
}

int flavorMaximum(CacheFlavor flavor) {
  return infoOf(flavor).maximum;
}

std::optional<CacheFlavor> flavorFromName(std::string_view name) {
  for (const auto& info : flavors) {
    if (info.name == name) return info.flavor;
  }
  return std::nullopt;
}

std::optional<CacheOptions> parseCacheArgs(std::span<const std::string> args, std::string& error) {
  CacheOptions options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (optionsEnded || word == "-" || !word.starts_with("-")) {
      options.paths.emplace_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--cache") continue;

    auto [name, value] = splitOption(word);
    if (name != "--flavor" && name != "-j" && name != "--jobs") {
      error = "unknown option " + std::string(word);
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 == args.size()) {
        error = std::string(name) + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (name == "--flavor") {
      const auto flavor = flavorFromName(*value);
      if (!flavor) {
        error =
            "unknown flavor \"" + std::string(*value) + "\" (normal, large, x-large or xx-large)";
        return std::nullopt;
      }
      options.flavor = *flavor;
    } else {
      const auto jobs = parseJobs(*value);
      if (!jobs) {
        error = "-j needs a whole number from 1 to " + std::to_string(maxCacheJobs) + ", not \"" +
                std::string(*value) + "\"";
        return std::nullopt;
      }
      options.jobs = *jobs;
    }
  }
  if (options.paths.empty()) {
    error = "--cache needs at least one file or directory";
    return std::nullopt;
  }
  return options;
}

}  // namespace tamsel
