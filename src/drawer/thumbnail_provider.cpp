// SPDX-License-Identifier: MIT
#include "drawer/thumbnail_provider.h"

#include <optional>
#include <utility>

#include "render/draw_skim.h"

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

}  // namespace tamsel
