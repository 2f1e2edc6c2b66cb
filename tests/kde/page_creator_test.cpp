// SPDX-License-Identifier: MIT
// The plugin's creator called as KIO's thumbnail worker calls it.
#include "kde/page_creator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "platform/file_url.h"
#include "render/handles.h"
#include "service/thumbnail_provider.h"
#include "support/recording_png.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

KIO::ThumbnailResult create(const QUrl& url, QSize target) {
  PageCreator creator(nullptr, {});
  return creator.create(KIO::ThumbnailRequest(url, target, QStringLiteral("text/markdown"), 1, 0));
}

KIO::ThumbnailResult create(const std::string& path, QSize target) {
  return create(QUrl::fromLocalFile(QString::fromStdString(path)), target);
}

// What the command line writes for `-s`/`--max` of the same size.
testing::DecodedPng commandLinePage(const std::string& path, QSize target) {
  std::optional<ThumbnailReply> reply;
  ThumbnailProvider().provideThumbnail(
      {.fileURL = *fileURLFromPath(path),
       .maximumSize = {.width = static_cast<double>(target.width()),
                       .height = static_cast<double>(target.height())},
       .minimumSize = {}},
      [&](ThumbnailReply answer, std::error_code) { reply = std::move(answer); });
  return testing::decodePng(renderReply(*reply, ImageFormat::png).value_or(""))
      .value_or(testing::DecodedPng{});
}

// Other plugins of the same worker keep the system's font configuration,
// every conf.d file of it, named-family aliases included.
TEST(PageCreator, LeavesTheProcessFontConfigurationAlone) {
  ASSERT_TRUE(create(TAMSEL_SOURCE_DIR "/data/samples/readme.md", QSize(128, 128)).isValid());
  const detail::FcConfigHandle full(FcInitLoadConfig());
  const auto files = [](FcConfig* config) {
    std::set<std::string> names;
    FcStrList* list = FcConfigGetConfigFiles(config);
    while (const FcChar8* name = FcStrListNext(list)) {
      names.insert(reinterpret_cast<const char*>(name));
    }
    FcStrListDone(list);
    return names;
  };
  EXPECT_EQ(files(FcConfigGetCurrent()), files(full.get()));
}

TEST(PageCreator, PaintsTheCommandLinesPixels) {
  const std::string path = TAMSEL_SOURCE_DIR "/data/samples/readme.md";
  for (const QSize target : {QSize(256, 256), QSize(128, 128), QSize(300, 120)}) {
    SCOPED_TRACE(::testing::Message() << target.width() << " x " << target.height());
    const KIO::ThumbnailResult result = create(path, target);
    ASSERT_TRUE(result.isValid());
    const QImage image = result.image();
    const testing::DecodedPng expected = commandLinePage(path, target);
    ASSERT_EQ(image.width(), expected.width);
    ASSERT_EQ(image.height(), expected.height);
    int differing = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        const testing::Rgb wanted = expected.at(x, y);
        differing += qAlpha(pixel) != 255 || qRed(pixel) != wanted.red ||
                     qGreen(pixel) != wanted.green || qBlue(pixel) != wanted.blue;
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

// Failures are reported, so KIO records them instead of caching a blank
// page; an empty file is still a document.
TEST(PageCreator, FailsForWhatCannotBeDrawn) {
  const testing::ScratchDirectory scratch;
  const std::string fifo = scratch / "waiting.md";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const QSize size(256, 256);
  EXPECT_FALSE(create(fifo, size).isValid());
  EXPECT_FALSE(create(scratch.path(), size).isValid());
  EXPECT_FALSE(create(scratch / "missing.md", size).isValid());
  EXPECT_FALSE(create(QUrl(QStringLiteral("https://example.org/a.md")), size).isValid());

  const std::string empty = scratch.write("empty.md", "");
  EXPECT_TRUE(create(empty, size).isValid());
  EXPECT_FALSE(create(empty, QSize(0, 256)).isValid());
  EXPECT_FALSE(create(empty, QSize(256, 5000)).isValid());
}

}  // namespace
}  // namespace tamsel
