#include "service/cache/cache_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tamsel {
namespace {

// The arguments `args` (split at spaces) as "FLAVOR jN PATH PATH..." or
// "error: ...".
std::string parsed(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; in >> word;) words.push_back(word);
  std::string error;
  const auto options = parseCacheArgs(words, error);
  if (!options) return "error: " + error;
  std::string line =
      std::string(flavorName(options->flavor)) + " j" + std::to_string(options->jobs);
  for (const auto& path : options->paths) line += " " + path;
  return line;
}

TEST(ParseCacheArgs, Accepts) {
  const std::pair<const char*, const char*> cases[] = {
      {"--cache --flavor normal a b", "normal j0 a b"},
      {"--flavor=x-large -j 3 a", "x-large j3 a"},
      {"a -j8 --flavor xx-large", "xx-large j8 a"},
      {"--jobs=256 a", "large j256 a"},
      {"- --jobs 1", "large j1 -"},
      // After "--" everything is a path, even what looks like an option.
      {"-- -j --flavor", "large j0 -j --flavor"},
  };
  for (const auto& [args, options] : cases) EXPECT_EQ(parsed(args), options) << args;
}

TEST(ParseCacheArgs, RejectsWithOneLine) {
  for (const char* args : {"--cache", "--flavor huge a", "a --flavor", "-j 0 a", "-j 257 a",
                           "-j 2x a", "-j -1 a", "--size a", "--flavor= a"}) {
    const std::string result = parsed(args);
    EXPECT_TRUE(result.starts_with("error: ") && result.size() > 7) << args << ": " << result;
    EXPECT_EQ(result.find('\n'), std::string::npos) << result;
  }
}

}  // namespace
}  // namespace tamsel
