// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/ustring.h>

#include <string>

#include "skim/markdown_skim.h"

namespace tamsel::testing {

// The first promise a skim makes to its readers, however odd its input,
// that it breaks; "" when it keeps them all. ICU's converter, not the
// skimmer's own repair, judges UTF-8; NUL counts as well-formed.
inline std::string brokenPromise(const MarkdownSkim& skim) {
  const auto utf8 = [](const std::string& s) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &status);
    return status != U_INVALID_CHAR_FOUND;
  };
  if (skim.blocks.size() > blockLimit) return "more than blockLimit blocks";
  if (!utf8(skim.title)) return "title is not UTF-8";
  for (const auto& block : skim.blocks) {
    if (!block.isMono()) {
      if (block.text().empty()) return "empty text block";
      if (!utf8(block.text())) return "block text is not UTF-8";
      continue;
    }
    if (block.lines().empty() || block.lines().size() > codeLineLimit) {
      return "mono block of 0 or more than codeLineLimit lines";
    }
    for (const auto& line : block.lines()) {
      if (!utf8(line)) return "mono line is not UTF-8";
    }
  }
  return "";
}

}  // namespace tamsel::testing
