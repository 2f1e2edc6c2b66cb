// SPDX-License-Identifier: MIT
// Drives skim with arbitrary bytes and file names and checks the invariants
// every reader of a skim relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "require.h"
#include "skim/skim.h"
#include "support/skim_promises.h"

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

  const std::string broken = tamsel::testing::brokenPromise(tamsel::skim(bytes, fileName));
  require(broken.empty(), broken.c_str());
  return 0;
}
