// Drives skim with arbitrary bytes and file names and checks the invariants
// every reader of a skim relies on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "skim/skim.h"

namespace {

using tamsel::MarkdownSkim;

bool validUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
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
  require(skim.blocks.size() <= 24, "more than 24 blocks");
  for (const auto& block : skim.blocks) {
    if (block.isMono()) {
      require(!block.lines().empty() && block.lines().size() <= 6, "mono block of 0 or >6 lines");
      for (const auto& line : block.lines()) require(validUtf8(line), "mono line is not UTF-8");
    } else {
      require(!block.text().empty(), "empty text block");
      require(validUtf8(block.text()), "block text is not UTF-8");
    }
  }
  return 0;
}
