// SPDX-License-Identifier: MIT
#pragma once

#include <KIO/ThumbnailCreator>
#include <QVariant>
#include <string>

#include "drawer/drawer_client.h"

namespace tamsel {

// The page as KDE's `thumbnail` worker asks for it. One creator lives as long
// as the worker process and serves every request, possibly from several
// threads at once. It never reads a document: it opens the file and hands
// the descriptor to a drawer (drawer/drawer.h), so a hostile document costs
// one preview, never the worker.
class PageCreator final : public KIO::ThumbnailCreator {
  Q_OBJECT

 public:
  // Drawing with the installed drawer program (or a build tree's).
  PageCreator(QObject* parent, const QVariantList& args);
  // Drawing with the drawer program at `drawerProgram`.
  PageCreator(QObject* parent, const QVariantList& args, std::string drawerProgram);

  // The page of the local file request.url(), drawn into an ARGB32
  // premultiplied image by the command line's size rule: thumbnailSize of
  // request.targetSize() (device pixels) rounded up to whole pixels, the
  // same pixels as `tamsel-thumbnail --max WxH` of that size. Fails for a URL
  // that is not a local file, a target side that is not positive or
  // exceeds pageSideLimit, a file that is not a readable regular file
  // (never waiting on a FIFO), and a drawer that fails or crashes.
  KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override;

 private:
  DrawerPool drawers_;
};

}  // namespace tamsel
