// SPDX-License-Identifier: MIT
#include "kde/page_creator.h"

#include <QFile>
#include <QImage>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "platform/unique_fd.h"
#include "service/command_line.h"

namespace tamsel {
namespace {

bool usableSide(int side) {
  return side > 0 && side <= pageSideLimit;
}

std::string installedDrawer() {
  // Installed, from Qt's plugin folder; else a build tree's, whose plugins
  // are in build/plugins/kfN/thumbcreator.
  return drawerProgramNear(reinterpret_cast<const void*>(&installedDrawer),
                           {TAMSEL_DRAWER_FROM_KDE_PLUGINS, "../../.."});
}

}  // namespace

PageCreator::PageCreator(QObject* parent, const QVariantList& args)
    : PageCreator(parent, args, installedDrawer()) {}

PageCreator::PageCreator(QObject* parent, const QVariantList& args, std::string drawerProgram)
    : KIO::ThumbnailCreator(parent, args), drawers_(std::move(drawerProgram)) {}

KIO::ThumbnailResult PageCreator::create(const KIO::ThumbnailRequest& request) {
  const QSize target = request.targetSize();
  if (!request.url().isLocalFile() || !usableSide(target.width()) || !usableSide(target.height())) {
    return KIO::ThumbnailResult::fail();
  }
  const std::string path = QFile::encodeName(request.url().toLocalFile()).toStdString();
  // Unlike the empty page of an empty file, a file that cannot be read fails,
  // so KIO records the failure instead of caching a blank page.
  auto opened = openDocument(path);
  if (std::holds_alternative<std::error_code>(opened)) return KIO::ThumbnailResult::fail();
  const UniqueFd document = std::move(std::get<UniqueFd>(opened));
  const DrawReply reply = drawers_.draw(
      document.get(), {.format = DrawnFormat::pixels,
                       .fileName = lastPathComponent(path),
                       .pages = {{.maximum = {.width = static_cast<double>(target.width()),
                                              .height = static_cast<double>(target.height())},
                                  .minimum = {}}},
                       .pngText = {}});
  if (reply.failure != DrawFailure::none) return KIO::ThumbnailResult::fail();
  // Cairo's ARGB32 and Qt's ARGB32_Premultiplied are the same native-endian
  // words.
  const DrawnImage& page = reply.images[0];
  QImage image(static_cast<int>(page.width), static_cast<int>(page.height),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return KIO::ThumbnailResult::fail();
  const std::size_t row = std::size_t{page.width} * 4;
  for (int y = 0; y < image.height(); ++y) {
    std::memcpy(image.scanLine(y), page.bytes.data() + row * static_cast<std::size_t>(y), row);
  }
  return KIO::ThumbnailResult::pass(image);
}

}  // namespace tamsel
