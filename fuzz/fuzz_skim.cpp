// SPDX-License-Identifier: MIT
// Drives skim with arbitrary bytes and file names and checks the invariants
// every reader of a skim relies on.
#include <unicode/ustring.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "require.h"
#include "skim/skim.h"

namespace {

using tamsel::MarkdownSkim;

// ICU's converter, not the system's own repair, is the judge. NUL counts as
// well-formed, as it does for every reader of a skim.
bool validUtf8(const std::string& s) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &status);
  return status != U_INVALID_CHAR_FOUND;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The file name comes from the end, so a document as it stands is a seed
  // whose start, where the rules act, is whole: the last byte gives the
  // name's length (below 64), the bytes before it the name.
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string_view fileName;
  if (!bytes.empty()) {
    const auto last = static_cast<unsigned char>(bytes.back());
    bytes.remove_suffix(1);
    fileName = bytes.substr(bytes.size() - std::min<std::size_t>(last % 64, bytes.size()));
    bytes.remove_suffix(fileName.size());
  }

  MarkdownSkim skim = tamsel::skim(bytes, fileName);

  require(validUtf8(skim.title), "title is not UTF-8");
  require(skim.blocks.size() <= tamsel::blockLimit, "more than blockLimit blocks");
  for (const auto& block : skim.blocks) {
    if (block.isMono()) {
      require(!block.lines().empty() && block.lines().size() <= tamsel::codeLineLimit,
              "mono block of 0 or more than codeLineLimit lines");
      for (const auto& line : block.lines()) require(validUtf8(line), "mono line is not UTF-8");
    } else {
      require(!block.text().empty(), "empty text block");
      require(validUtf8(block.text()), "block text is not UTF-8");
    }
  }
  return 0;
}
