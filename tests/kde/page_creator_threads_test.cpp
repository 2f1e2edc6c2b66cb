// SPDX-License-Identifier: MIT
// One creator serving requests from several threads at once, as the
// thumbnail worker may use it: every page must come out as on one thread.
#include <gtest/gtest.h>

#include <QImage>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "kde/page_creator.h"
#include "support/on_threads.h"

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

  EXPECT_EQ(testing::mismatchesOnThreads(expected, [&](std::size_t i) { return pageOf(urls[i]); }),
            0);
}

}  // namespace
}  // namespace tamsel
