// SPDX-License-Identifier: MIT
// One creator serving requests from several threads at once, as the
// thumbnail worker may use it: every page must come out as on one thread.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "kde/page_creator.h"

namespace tamsel {
namespace {

TEST(PageCreatorThreads, ConcurrentRequestsMatchSingleThreadedPages) {
  std::vector<QUrl> urls;
  for (const auto& entry : std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/data/samples")) {
    urls.push_back(QUrl::fromLocalFile(QString::fromStdString(entry.path().string())));
  }
  ASSERT_FALSE(urls.empty());

  PageCreator creator(nullptr, {});
  const auto pageOf = [&](const QUrl& url) {
    return creator.create(KIO::ThumbnailRequest(url, QSize(200, 200), QString(), 1, 0)).image();
  };
  std::vector<QImage> expected;
  for (const QUrl& url : urls) expected.push_back(pageOf(url));

  std::atomic<int> mismatches = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 8; ++i) {
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
