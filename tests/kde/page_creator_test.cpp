// SPDX-License-Identifier: MIT
// The plugin's creator called as KIO's thumbnail worker calls it. That its
// pages are the command line's is checked through KIO itself (preview_job).
#include "kde/page_creator.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QSize>
#include <string>

#include "platform/sanitizers.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

KIO::ThumbnailResult create(PageCreator& creator, const QUrl& url, QSize target) {
  return creator.create(KIO::ThumbnailRequest(url, target, QStringLiteral("text/markdown"), 1, 0));
}

KIO::ThumbnailResult create(const QUrl& url, QSize target) {
  PageCreator creator(nullptr, {}, TAMSEL_DRAWER_PROGRAM);
  return create(creator, url, target);
}

KIO::ThumbnailResult create(const std::string& path, QSize target) {
  return create(QUrl::fromLocalFile(QString::fromStdString(path)), target);
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

// A crash planted in the drawer from outside the product fails that preview,
// and the worker's next preview is drawn by a new drawer.
TEST(PageCreator, ADrawerThatCrashesFailsOnePreview) {
  if (sanitized) GTEST_SKIP() << "a preloaded library cannot come before the sanitizer runtime";
  const testing::ScratchDirectory scratch;
  const std::string marked = scratch.write("marked.md", "<!-- tamsel-probe -->\n# Marked\n");
  const std::string plain = scratch.write("plain.md", "# Plain\n");
  ::setenv("LD_PRELOAD", TAMSEL_ESCAPE_PROBE, 1);
  ::setenv("TAMSEL_PROBE_ATTEMPT", "crash", 1);
  PageCreator creator(nullptr, {}, TAMSEL_DRAWER_PROGRAM);
  const auto url = [](const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
  };
  EXPECT_FALSE(create(creator, url(marked), QSize(256, 256)).isValid());
  EXPECT_TRUE(create(creator, url(plain), QSize(256, 256)).isValid());
  ::unsetenv("TAMSEL_PROBE_ATTEMPT");
  ::unsetenv("LD_PRELOAD");
}

}  // namespace
}  // namespace tamsel
