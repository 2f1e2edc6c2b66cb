// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace tamsel::testing {

// Makes the pages again on 4 threads at once, 8 each, `make(i)` being page i,
// and counts those that differ from `expected`, the pages made one at a time.
template <typename Page, typename Make>
int mismatchesOnThreads(const std::vector<Page>& expected, Make make) {
  std::atomic<int> mismatches = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 8; ++i) {
        const std::size_t which = static_cast<std::size_t>(t + i) % expected.size();
        if (make(which) != expected[which]) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  return mismatches;
}

}  // namespace tamsel::testing
