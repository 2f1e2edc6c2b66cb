// SPDX-License-Identifier: MIT
#include "drawer/thumbnail_provider.h"

#include <optional>
#include <utility>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "render/draw_skim.h"
#include "skim/decode.h"
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

ThumbnailReply replyForSkim(MarkdownSkim skim, Size maximum, Size minimum) {
  const Size size = thumbnailSize(maximum, minimum);
  auto context = std::make_shared<const DrawingContext>(
      DrawingContext{.skim = std::move(skim), .width = size.width, .height = size.height});
  return {.contextSize = size, .drawingBlock = makeDrawingBlock(std::move(context))};
}

FileSkim skimFile(const std::string& path) {
  DocumentHead head = readDocumentHead(path, decodeByteLimit);
  return {.skim = skim(head.bytes, lastPathComponent(path)), .error = head.error};
}

void ThumbnailProvider::provideThumbnail(const ThumbnailRequest& request,
                                         const CompletionHandler& completionHandler) const {
  const std::optional<std::string> path = filePathFromURL(request.fileURL);
  if (!path) return completionHandler({}, DocumentError::notLocal);
  FileSkim document = skimFile(*path);
  if (document.error) return completionHandler({}, document.error);
  completionHandler(
      replyForSkim(std::move(document.skim), request.maximumSize, request.minimumSize), {});
}

}  // namespace tamsel
