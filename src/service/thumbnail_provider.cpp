#include "service/thumbnail_provider.h"

#include <optional>
#include <utility>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "render/draw_skim.h"
#include "skim/skim.h"

namespace tamsel {

DrawingBlock makeDrawingBlock(std::shared_ptr<const DrawingContext> context) {
  return [context = std::move(context)](Canvas& canvas) {
    drawSkim(context->skim, Rect{0, 0, context->width, context->height}, canvas);
    return true;
  };
}

std::optional<std::string> renderReply(const ThumbnailReply& reply, ImageFormat format,
                                       const std::vector<PngText>& pngText) {
  return renderImage(
      reply.contextSize.width, reply.contextSize.height,
      [&](Canvas& canvas) { reply.drawingBlock(canvas); }, format, pngText);
}

MarkdownSkim skimFile(const std::string& path) {
  return skim(readDocumentHead(path), lastPathComponent(path));
}

void ThumbnailProvider::provideThumbnail(const ThumbnailRequest& request,
                                         const CompletionHandler& completionHandler) const {
  const Size size = thumbnailSize(request.maximumSize, request.minimumSize);

  // A URL that names no local file is a document that cannot be read.
  const std::optional<std::string> path = filePathFromURL(request.fileURL);
  MarkdownSkim documentSkim =
      path ? skimFile(*path) : skim(std::string_view(), lastPathComponent(request.fileURL));

  auto context = std::make_shared<const DrawingContext>(
      DrawingContext{.skim = std::move(documentSkim), .width = size.width, .height = size.height});
  completionHandler(
      ThumbnailReply{.contextSize = size, .drawingBlock = makeDrawingBlock(std::move(context))},
      std::error_code());
}

}  // namespace tamsel
