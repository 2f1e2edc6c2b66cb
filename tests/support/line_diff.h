#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// EXPECT_RECORDING(actual, expected): two recordings (one call per line)
// are equal; on failure prints their line diff.
namespace tamsel::testing {

// Every line of both, in order: "  " before a line both have, "- " before an
// expected line that is missing, "+ " before an actual one not expected.
inline std::string lineDiff(const std::vector<std::string>& expected,
                            const std::vector<std::string>& actual) {
  // Longest common subsequence, then a walk that keeps equal lines in place.
  const std::size_t n = expected.size();
  const std::size_t m = actual.size();
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = expected[i] == actual[j] ? common[i + 1][j + 1] + 1
                                              : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string diff;
  std::size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && expected[i] == actual[j]) {
      diff += "  " + expected[i++] + '\n';
      ++j;
    } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
      diff += "+ " + actual[j++] + '\n';
    } else {
      diff += "- " + expected[i++] + '\n';
    }
  }
  return diff;
}

inline ::testing::AssertionResult recordingsEqual(const char* actualText, const char*,
                                                  const std::vector<std::string>& actual,
                                                  const std::vector<std::string>& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualText << " differs (- expected, + actual):\n"
                                       << lineDiff(expected, actual);
}

}  // namespace tamsel::testing

#define EXPECT_RECORDING(actual, expected) \
  EXPECT_PRED_FORMAT2(::tamsel::testing::recordingsEqual, actual, expected)
