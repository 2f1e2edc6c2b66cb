// SPDX-License-Identifier: MIT
#include "service/cache/cache_progress.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>

#include "service/cache/claimed_types.h"
#include "support/example_cases.h"

namespace tamsel {
namespace {

// The examples in tests/cache/cases/*.txt: claimed types and progress lines.
class CacheCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(CacheCases, MatchesExample) {
  const std::string read = testing::setting(GetParam(), "read");
  testing::expectEachLine(GetParam(), [&](const std::string& line) {
    if (read == "type") return std::string(claimedTypeOf(line).value_or("none"));
    std::size_t done = 0, total = 0;
    double seconds = 0;
    std::istringstream(line) >> done >> total >> seconds;
    return progressLine(done, total, seconds);
  });
}

INSTANTIATE_TEST_SUITE_P(Examples, CacheCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/cache/cases")),
                         testing::caseName);

TEST(CacheReporter, ClearsTheProgressLineBeforeOtherLines) {
  std::ostringstream out;
  CacheReporter reporter(out, true);
  reporter.setTotal(4);
  reporter.progress(1);
  reporter.progress(2);  // too soon after the first: not drawn
  reporter.failed("x.md", "gone");
  const std::string text = out.str();
  EXPECT_TRUE(text.starts_with("\r\x1b[K[######                  ] 1/4")) << text;
  EXPECT_TRUE(text.ends_with("\r\x1b[K'x.md': gone\n")) << text;
  EXPECT_EQ(text.find("] ", text.find("] ") + 1), std::string::npos) << "drawn twice: " << text;
}

}  // namespace
}  // namespace tamsel
