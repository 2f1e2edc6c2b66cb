// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drawer/thumbnail_size.h"
#include "render/image.h"
#include "skim/markdown_skim.h"

namespace tamsel {

class Canvas;

// What the drawing block keeps of a request. Built once, never changed, so
// any number of threads may read it.
struct DrawingContext {
  MarkdownSkim skim;
  double width = 0;   // points
  double height = 0;  // points
};

// Paints the page into the canvas it is given, over the rectangle
// (0, 0, width, height) of the captured size; returns true on every call. The
// canvas is borrowed for the call only. Copies of a block share one
// DrawingContext and may run on any thread, at any time, any number of times.
using DrawingBlock = std::function<bool(Canvas&)>;

DrawingBlock makeDrawingBlock(std::shared_ptr<const DrawingContext> context);

// The answer to a request: the size of the canvas the block wants, and the
// block.
struct ThumbnailReply {
  Size contextSize;
  DrawingBlock drawingBlock;
};

// The reply for a document already skimmed: the size thumbnailSize settles
// for `maximum` and `minimum`, and a block painting `skim` at that size. Lets
// one skim be drawn at several sizes.
ThumbnailReply replyForSkim(MarkdownSkim skim, Size maximum, Size minimum);

// Runs the reply's drawing block on a page of its exact context size and
// encodes it; the image is that size rounded up to whole pixels (see
// renderImage). nullopt when the size cannot be drawn.
std::optional<std::string> renderReply(const ThumbnailReply& reply, ImageFormat format,
                                       const std::vector<PngText>& pngText = {});

}  // namespace tamsel
