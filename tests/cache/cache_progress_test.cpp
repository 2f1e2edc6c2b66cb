// SPDX-License-Identifier: MIT
#include "service/cache/cache_progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tamsel {
namespace {

TEST(ProgressLine, ShowsBarCountRateAndTimeLeft) {
  const struct {
    std::size_t done, total;
    double seconds;
    const char* line;
  } rows[] = {
      {0, 2000, 0.0, "[                        ] 0/2000"},
      {1000, 2000, 0.5, "[############            ] 1000/2000  2000/s  0:01 left"},
      {100, 10000, 1.0, "[                        ] 100/10000  100/s  1:39 left"},
      {2000, 2000, 1.3, "[########################] 2000/2000  1538/s  0:00 left"},
      {0, 0, 0.0, "[########################] 0/0"},
  };
  for (const auto& row : rows) EXPECT_EQ(progressLine(row.done, row.total, row.seconds), row.line);
}

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
