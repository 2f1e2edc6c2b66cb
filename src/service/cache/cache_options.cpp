// SPDX-License-Identifier: MIT
#include "service/cache/cache_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

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

std::optional<std::vector<CacheFlavor>> parseFlavorList(std::string_view text) {
  std::vector<CacheFlavor> list;
  while (true) {
    const auto comma = text.find(',');
    const auto flavor = flavorFromName(text.substr(0, comma));
    if (!flavor) return std::nullopt;
    if (std::find(list.begin(), list.end(), *flavor) == list.end()) list.push_back(*flavor);
    if (comma == std::string_view::npos) return list;
    text.remove_prefix(comma + 1);
  }
}

std::optional<unsigned> parseJobs(std::string_view text) {
  unsigned value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > maxCacheJobs) return std::nullopt;
  return value;
}

}  // namespace tamsel
