// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "service/cache/run_cache.h"
#include "service/cache/thumbnail_file.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

constexpr int documentCount = 120;

// Two runs at once over one tree, as two logins or a login and a package hook
// might: each writes whole thumbnails, and every document ends up with a
// thumbnail of its own URI and no temporary files are left.
TEST(BuildCacheConcurrency, OverlappingRunsLeaveWholeThumbnails) {
  testing::ScratchDirectory tree, cache;
  for (int i = 0; i < documentCount; ++i) {
    tree.write("d" + std::to_string(i % 7) + "/n" + std::to_string(i) + ".md",
               "# Note " + std::to_string(i) + "\n\n- item\n\n```\ncode\n```\n");
  }
  const CacheOptions options{.jobs = 4,
                             .paths = {tree.path()},
                             .cacheHome = cache.path(),
                             .drawerProgram = TAMSEL_DRAWER_PROGRAM};
  CacheCounts counts[2];
  {
    std::jthread first([&] {
      std::ostringstream log;
      CacheReporter reporter(log, true);
      counts[0] = buildCache(options, reporter);
    });
    std::ostringstream log;
    CacheReporter reporter(log, true);
    counts[1] = buildCache(options, reporter);
  }
  for (const auto& c : counts) {
    EXPECT_EQ(c.made + c.fresh, std::size_t{documentCount});
    EXPECT_EQ(c.failed, 0u);
  }

  const std::string directory = thumbnailDirectory(cache.path(), CacheFlavor::large);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), documentCount)
      << "a thumbnail or a temporary file too many";
  for (int i = 0; i < documentCount; ++i) {
    const std::string path =
        tree.path() + "/d" + std::to_string(i % 7) + "/n" + std::to_string(i) + ".md";
    const std::string uri = *fileUriOf(path);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_TRUE(isFreshThumbnail(directory + "/" + thumbnailFileName(uri), uri, info.st_mtime))
        << path;
  }

  std::ostringstream log;
  CacheReporter reporter(log, false);
  const CacheCounts again = buildCache(options, reporter);
  EXPECT_EQ(again.fresh, std::size_t{documentCount});
  EXPECT_EQ(again.made, 0u);
}

}  // namespace
}  // namespace tamsel
