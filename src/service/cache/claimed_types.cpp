// SPDX-License-Identifier: MIT
#include "service/cache/claimed_types.h"

#include <gio/gio.h>

#include <algorithm>
#include <string>
#include <vector>

// Defines thumbnailerMimeTypes, the entry's MimeType value.
#include "claimed_mime_types.inc"
#include "platform/handle.h"

namespace tamsel {
namespace {

std::vector<std::string_view> splitTypes(std::string_view list) {
  std::vector<std::string_view> types;
  while (!list.empty()) {
    const auto end = std::min(list.find(';'), list.size());
    if (end > 0) types.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return types;
}

}  // namespace

std::span<const std::string_view> claimedMimeTypes() {
  static const std::vector<std::string_view> types = splitTypes(thumbnailerMimeTypes);
  return types;
}

std::optional<std::string_view> claimedTypeOf(std::string_view fileName) {
  // By name, not content: sniffing would open and read every file of the tree
  // up front, while the name's glob lookup costs a few microseconds.
  const std::string name(fileName);
  const detail::GCharsHandle type(g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
  if (!type) return std::nullopt;
  const std::string_view guessed(type.get());
  for (const std::string_view claimed : claimedMimeTypes()) {
    if (claimed == guessed) return claimed;
  }
  return std::nullopt;
}

}  // namespace tamsel
