// SPDX-License-Identifier: MIT
// Requests share nothing: many at once on one provider, skimming and
// painting with Cairo and Pango on other threads than the requests, must
// each encode the page they encode alone. The render subsystem's thread
// safety is checked here too, through the same pages.
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_url.h"
#include "service/thumbnail_provider.h"
#include "support/on_threads.h"

namespace tamsel {
namespace {

TEST(ProviderThreads, ConcurrentRequestsEncodeTheSinglyEncodedPages) {
  std::vector<std::string> urls;
  for (const auto& entry : std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/data/samples")) {
    urls.push_back(*fileURLFromPath(entry.path().string()));
  }
  ASSERT_FALSE(urls.empty());

  const ThumbnailProvider provider;
  const auto pageOf = [&](const std::string& url) {
    std::optional<std::string> png;
    provider.provideThumbnail(
        {.fileURL = url, .maximumSize = {200, 200}, .minimumSize = {}},
        [&](ThumbnailReply reply, std::error_code) {
          std::jthread([&] { png = renderReply(reply, ImageFormat::png); }).join();
        });
    return png;
  };
  std::vector<std::optional<std::string>> expected;
  for (const auto& url : urls) {
    expected.push_back(pageOf(url));
    ASSERT_TRUE(expected.back()) << url;
  }

  EXPECT_EQ(testing::mismatchesOnThreads(expected, [&](std::size_t i) { return pageOf(urls[i]); }),
            0);
}

}  // namespace
}  // namespace tamsel
