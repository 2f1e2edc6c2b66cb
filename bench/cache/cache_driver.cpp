// `tamsel-thumbnail --cache` on its own, for benchmarks and tests that must
// not depend on the front end's wiring.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "service/cache/cache_options.h"
#include "service/cache/run_cache.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = tamsel::parseCacheArgs(args, error);
  if (!options) {
    std::fprintf(stderr, "tamsel-cache: %s\n%.*s\n", error.c_str(),
                 static_cast<int>(tamsel::cacheUsage.size()), tamsel::cacheUsage.data());
    return 2;
  }
  return tamsel::runCache(*options);
}
