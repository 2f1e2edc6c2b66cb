// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "drawer/thumbnail_size.h"
#include "render/image.h"
#include "skim/markdown_skim.h"

namespace tamsel {

class Canvas;

// What the host asks for: one document and the sizes it will accept.
struct ThumbnailRequest {
  std::string fileURL;  // "file:///..." of the document
  Size maximumSize;
  Size minimumSize;
};

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

// The skim of the document at a local `path`: its first bytes under its last
// path component, extension kept. When it cannot be read (see
// readDocumentHead), `error` says why and `skim` is the empty document's.
struct FileSkim {
  MarkdownSkim skim;
  std::error_code error;
};
FileSkim skimFile(const std::string& path);

// Answers thumbnail requests. Holds nothing: one provider may serve any number
// of requests, from any number of threads at once.
class ThumbnailProvider {
 public:
  // Receives the reply, or an error and an empty reply (no block, zero size)
  // when the document cannot be read.
  using CompletionHandler = std::function<void(ThumbnailReply reply, std::error_code error)>;

  // Settles the size with thumbnailSize, reads and skims the document (the
  // skim's file name is the path's last component, extension kept) and calls
  // `completionHandler` exactly once, before returning. A document that
  // exists but cannot be read (permission, I/O error, a directory, FIFO,
  // device or socket) is an error, as are a missing file and a URL that
  // names no local file (DocumentError::notLocal); an empty file is a
  // document, the empty one. All text work is done here; the block only
  // paints.
  void provideThumbnail(const ThumbnailRequest& request,
                        const CompletionHandler& completionHandler) const;
};

}  // namespace tamsel
