// SPDX-License-Identifier: MIT
// Drives skim with arbitrary bytes and file names and checks the invariants
// every reader of a skim relies on.
#include <fuzzer/FuzzedDataProvider.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "skim invariant broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string fileName = input.ConsumeRandomLengthString(64);
  std::string bytes = input.ConsumeRemainingBytesAsString();

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
