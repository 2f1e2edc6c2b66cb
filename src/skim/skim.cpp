// SPDX-License-Identifier: MIT
#include "skim/skim.h"

namespace tamsel {

MarkdownSkim skim(std::string_view bytes, std::string_view fileName) {
  const icu::UnicodeString text = decodeText(bytes);
  return skimText(stripFrontMatter(text), fileName);
}

}  // namespace tamsel
