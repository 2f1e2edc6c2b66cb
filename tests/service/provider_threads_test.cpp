#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/file_url.h"
#include "render/recording_canvas.h"
#include "service/thumbnail_provider.h"

namespace tamsel {
namespace {

// Requests share nothing: many at once on one provider, and their blocks run
// on other threads than the requests, must each paint their own page.
TEST(ProviderThreadsTest, ConcurrentRequestsAndBlocksAreIndependent) {
  constexpr int threadCount = 8;
  constexpr int requestsPerThread = 20;
  const auto samples = std::filesystem::path(TAMSEL_SOURCE_DIR) / "data" / "samples";
  std::vector<std::string> urls;
  for (const auto& entry : std::filesystem::directory_iterator(samples)) {
    urls.push_back(*fileURLFromPath(entry.path().string()));
  }
  ASSERT_FALSE(urls.empty());

  const ThumbnailProvider provider;
  const auto pageOf = [&](const std::string& url, double side) {
    std::vector<std::string> calls;
    provider.provideThumbnail({.fileURL = url, .maximumSize = {side, side}, .minimumSize = {}},
                              [&](ThumbnailReply reply, std::error_code) {
                                RecordingCanvas canvas;
                                reply.drawingBlock(canvas);
                                calls = canvas.calls();
                              });
    return calls;
  };
  std::vector<std::vector<std::string>> expected;
  for (const auto& url : urls) expected.push_back(pageOf(url, 200));

  std::vector<std::thread> threads;
  std::vector<int> mismatches(threadCount, 0);
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < requestsPerThread; ++i) {
        const std::size_t which = static_cast<std::size_t>(t + i) % urls.size();
        if (pageOf(urls[which], 200) != expected[which]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < threadCount; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace tamsel
