// SPDX-License-Identifier: MIT
#include "kde/page_creator.h"

#include <QFile>
#include <QImage>
#include <cmath>
#include <string>
#include <system_error>

#include "drawer/thumbnail_size.h"
#include "platform/document_head.h"
#include "platform/file_url.h"
#include "render/draw_skim.h"
#include "render/font_setup.h"
#include "render/handles.h"
#include "render/image.h"
#include "service/command_line.h"
#include "skim/decode.h"
#include "skim/skim.h"

namespace tamsel {
namespace {

bool usableSide(int side) {
  return side > 0 && side <= pageSideLimit;
}

// Paints straight into the image's pixels: Cairo's ARGB32 and Qt's
// ARGB32_Premultiplied are the same native-endian words.
bool paintInto(QImage& image, const MarkdownSkim& page, const Size& size) {
  detail::CairoSurfaceHandle surface(
      cairo_image_surface_create_for_data(image.bits(), CAIRO_FORMAT_ARGB32, image.width(),
                                          image.height(), static_cast<int>(image.bytesPerLine())));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  const bool painted = paintSurface(surface.get(), size.height, [&](Canvas& canvas) {
    drawSkim(page, {.x = 0, .y = 0, .width = size.width, .height = size.height}, canvas);
  });
  cairo_surface_finish(surface.get());
  return painted && cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

PageCreator::PageCreator(QObject* parent, const QVariantList& args)
    : KIO::ThumbnailCreator(parent, args) {
  // The worker is shared with other plugins, which draw with the system's
  // font configuration.
  keepSystemFontConfig();
}

KIO::ThumbnailResult PageCreator::create(const KIO::ThumbnailRequest& request) {
  const QSize target = request.targetSize();
  if (!request.url().isLocalFile() || !usableSide(target.width()) || !usableSide(target.height())) {
    return KIO::ThumbnailResult::fail();
  }
  const std::string path = QFile::encodeName(request.url().toLocalFile()).toStdString();
  // Unlike the empty page of an empty file, a file that cannot be read fails,
  // so KIO records the failure instead of caching a blank page.
  const DocumentHead head = readDocumentHead(path, decodeByteLimit);
  if (head.error) return KIO::ThumbnailResult::fail();

  const Size size = thumbnailSize({.width = static_cast<double>(target.width()),
                                   .height = static_cast<double>(target.height())},
                                  {});
  QImage image(static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height)),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull() || !paintInto(image, skim(head.bytes, lastPathComponent(path)), size)) {
    return KIO::ThumbnailResult::fail();
  }
  return KIO::ThumbnailResult::pass(image);
}

}  // namespace tamsel
