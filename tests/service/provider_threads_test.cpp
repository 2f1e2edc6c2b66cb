#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/file_url.h"
#include "service/thumbnail_provider.h"
#include "support/recording_canvas.h"

namespace tamsel {
namespace {

// Requests share nothing: many at once on one provider, and their blocks run
// on other threads than the requests, must each paint their own page.
TEST(ProviderThreadsTest, ConcurrentRequestsAndBlocksAreIndependent) {
  std::vector<std::string> urls;
  for (const auto& entry : std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/data/samples")) {
    urls.push_back(*fileURLFromPath(entry.path().string()));
  }
  ASSERT_FALSE(urls.empty());

  const ThumbnailProvider provider;
  const auto pageOf = [&](const std::string& url) {
    std::vector<std::string> calls;
    provider.provideThumbnail({.fileURL = url, .maximumSize = {200, 200}, .minimumSize = {}},
                              [&](ThumbnailReply reply, std::error_code) {
                                RecordingCanvas canvas;
                                reply.drawingBlock(canvas);
                                calls = canvas.calls();
                              });
    return calls;
  };
  std::vector<std::vector<std::string>> expected;
  for (const auto& url : urls) expected.push_back(pageOf(url));

  std::atomic<int> mismatches = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        const std::size_t which = static_cast<std::size_t>(t + i) % urls.size();
        if (pageOf(urls[which]) != expected[which]) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tamsel
