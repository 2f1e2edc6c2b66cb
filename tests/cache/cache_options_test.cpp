#include "service/cache/cache_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamsel {
namespace {

struct ParseCase {
  std::vector<std::string> args;
  CacheFlavor flavor;
  unsigned jobs;
  std::vector<std::string> paths;
};

class ParseCacheArgsAccepts : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCacheArgsAccepts, Line) {
  const ParseCase& c = GetParam();
  std::string error;
  const auto options = parseCacheArgs(c.args, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->flavor, c.flavor);
  EXPECT_EQ(options->jobs, c.jobs);
  EXPECT_EQ(options->paths, c.paths);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseCacheArgsAccepts,
    testing::Values(
        ParseCase{{"--cache", "--flavor", "normal", "a", "b"}, CacheFlavor::normal, 0, {"a", "b"}},
        ParseCase{{"--flavor=x-large", "-j", "3", "a"}, CacheFlavor::xLarge, 3, {"a"}},
        ParseCase{{"a", "-j8", "--flavor", "xx-large"}, CacheFlavor::xxLarge, 8, {"a"}},
        ParseCase{{"--jobs=256", "a"}, CacheFlavor::large, 256, {"a"}},
        // After "--" everything is a path, even what looks like an option.
        ParseCase{{"--", "-j", "--flavor"}, CacheFlavor::large, 0, {"-j", "--flavor"}}));

class ParseCacheArgsRejects : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ParseCacheArgsRejects, WithOneLine) {
  std::string error;
  EXPECT_FALSE(parseCacheArgs(GetParam(), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Lines, ParseCacheArgsRejects,
                         testing::Values(std::vector<std::string>{"--cache"},
                                         std::vector<std::string>{"--flavor", "huge", "a"},
                                         std::vector<std::string>{"a", "--flavor"},
                                         std::vector<std::string>{"-j", "0", "a"},
                                         std::vector<std::string>{"-j", "257", "a"},
                                         std::vector<std::string>{"-j", "2x", "a"},
                                         std::vector<std::string>{"-j", "-1", "a"},
                                         std::vector<std::string>{"--size", "a"}));

}  // namespace
}  // namespace tamsel
