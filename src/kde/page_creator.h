// SPDX-License-Identifier: MIT
#pragma once

#include <KIO/ThumbnailCreator>
#include <QVariant>

namespace tamsel {

// The page as KDE's `thumbnail` worker asks for it. One creator lives as long
// as the worker process and serves every request, possibly from several
// threads at once; it holds nothing between requests, and each thread lays
// text out with a font map of its own, as the cache mode's workers do.
class PageCreator final : public KIO::ThumbnailCreator {
  Q_OBJECT

 public:
  PageCreator(QObject* parent, const QVariantList& args);

  // The page of the local file request.url(), drawn into an ARGB32
  // premultiplied image by the command line's size rule: thumbnailSize of
  // request.targetSize() (device pixels) rounded up to whole pixels, the
  // same pixels as `tamsel-thumbnail --max WxH` of that size. Fails for a URL
  // that is not a local file, a target side that is not positive or
  // exceeds pageSideLimit, and a file that is not a readable regular file.
  // Reads at most decodeByteLimit bytes and never waits on a FIFO.
  KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override;
};

}  // namespace tamsel
