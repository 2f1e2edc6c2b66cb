// SPDX-License-Identifier: MIT
#include "drawer/drawer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "drawer/skim_json.h"
#include "drawer/thumbnail_provider.h"
#include "platform/confinement.h"
#include "platform/read_file.h"
#include "platform/sanitizers.h"
#include "render/font_setup.h"
#include "render/handles.h"
#include "render/image.h"
#include "skim/decode.h"
#include "skim/skim.h"

namespace tamsel {
namespace {

// Only this process's own descriptors stay: a socket or file its host left
// open would be a way out that no filter on opening files can see.
void keepOnlyTheChannel() {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int target = 0; target <= 2; ++target) {
    if (target == STDERR_FILENO && sanitized) continue;
    if (null >= 0 && null != target) ::dup2(null, target);
  }
  // Standard error is /dev/null but in sanitizer builds, and there it is for
  // their reports: what the confinement lacks, the host says.
  ::unsetenv("G_MESSAGES_DEBUG");
  if (::close_range(drawerChannel + 1, ~0U, 0) != 0) {
    // Kernels before 5.9.
    for (int fd = drawerChannel + 1; fd < 65536; ++fd) ::close(fd);
  }
}

struct Bytes {
  std::string bytes;
  int error = 0;
};

Bytes readDocument(int document) {
  struct stat info {};
  if (::fstat(document, &info) != 0) return {.bytes = {}, .error = errno};
  if (!S_ISREG(info.st_mode))
    return {.bytes = {}, .error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL};
  // The host's descriptor shares its offset with this one.
  ::lseek(document, 0, SEEK_SET);
  Bytes read;
  if (const int error = readUpTo(document, read.bytes, decodeByteLimit)) {
    return {.bytes = {}, .error = error};
  }
  return read;
}

std::uint32_t pixelSide(double side) {
  return static_cast<std::uint32_t>(std::ceil(side));
}

ImageFormat imageFormat(DrawnFormat format) {
  switch (format) {
    case DrawnFormat::svg:
      return ImageFormat::svg;
    case DrawnFormat::pdf:
      return ImageFormat::pdf;
    case DrawnFormat::pixels:
      return ImageFormat::argb32;
    case DrawnFormat::png:
    case DrawnFormat::skimJson:
      break;
  }
  return ImageFormat::png;
}

std::optional<DrawnImage> drawPage(const MarkdownSkim& skim, const PageSize& size,
                                   const DrawRequest& request) {
  const ThumbnailReply page = replyForSkim(skim, size.maximum, size.minimum);
  std::vector<PngText> text;
  for (const auto& [key, value] : request.pngText) text.push_back({.key = key, .value = value});
  std::optional<std::string> bytes = renderReply(page, imageFormat(request.format), text);
  if (!bytes) return std::nullopt;
  return DrawnImage{.width = pixelSide(page.contextSize.width),
                    .height = pixelSide(page.contextSize.height),
                    .bytes = std::move(*bytes)};
}

// Reads and skims on a second thread while this one loads the fonts the
// first page needs: each takes milliseconds, and neither needs the other.
MarkdownSkim skimWhileLoadingFonts(int document, const DrawRequest& request, int& error) {
  MarkdownSkim skimmed;
  std::atomic<bool> done = false;
  auto work = [&] {
    Bytes read = readDocument(document);
    error = read.error;
    if (!error) skimmed = skim(read.bytes, request.fileName);
    done.store(true, std::memory_order_release);
  };
  const bool raster = request.format == DrawnFormat::png || request.format == DrawnFormat::pixels;
  // A thread that has drawn a page has its fonts (they belong to its font
  // map): later documents only skim.
  thread_local bool fontsLoaded = false;
  if (request.format == DrawnFormat::skimJson || request.pages.empty() || fontsLoaded) {
    work();
    return skimmed;
  }
  fontsLoaded = true;
  std::jthread skimmer;
  try {
    skimmer = std::jthread(work);
  } catch (const std::system_error&) {
    work();  // no thread to be had: one after the other
  }
  if (raster) {
    // Fonts loaded after the skim is done would be loaded by drawing anyway,
    // and only those its page uses.
    preparePageFonts(thumbnailSize(request.pages[0].maximum, request.pages[0].minimum).width,
                     [&] { return done.load(std::memory_order_acquire); });
  } else {
    setUpFontConfig();
  }
  if (skimmer.joinable()) skimmer.join();
  return skimmed;
}

}  // namespace

Confinement drawerConfinement(const std::vector<std::string>& readablePaths) {
  Confinement confinement{.paths = {}, .calls = Confinement::Calls::drawing};
  for (const std::string& path : readablePaths) {
    confinement.paths.push_back({.path = path, .access = Confinement::Access::read});
  }
  return confinement;
}

namespace {

// Draws pages of every style at the sizes hosts ask for, for the font
// requests they make.
void drawSamplePages() {
  // Every style a page has, and text that wraps and is cut short.
  MarkdownSkim sample;
  sample.title = "Sample page of every style";
  sample.blocks = {MarkdownSkim::Block::heading("A heading"),
                   MarkdownSkim::Block::body("Body text long enough to wrap onto a second line "
                                             "and to be cut off at the foot of the page."),
                   MarkdownSkim::Block::bullet("An item"),
                   MarkdownSkim::Block::mono({"int main() { return \"0\"; }"})};
  // Text the page's own fonts lack sends Pango to other fonts, each
  // asked for by name and size: one page per style, so none is cut.
  constexpr const char* otherScripts =
      "\u00e9\u03a9\u0416 \u05d0 \u0627 \u0905 \u0e01 \u6f22\u3042\u30a2 \ud55c "
      "\u2192\u2211 \U0001f331\u2728";
  std::vector<MarkdownSkim> pages{sample};
  for (const MarkdownSkim::Block& block :
       {MarkdownSkim::Block::heading(otherScripts), MarkdownSkim::Block::body(otherScripts),
        MarkdownSkim::Block::bullet(otherScripts), MarkdownSkim::Block::mono({otherScripts})}) {
    MarkdownSkim page;
    page.title = otherScripts;
    page.blocks = {block};
    pages.push_back(std::move(page));
  }
  // The sizes hosts ask for: freedesktop's four, square. Only the layout
  // asks for fonts, so the pages are drawn onto a single pixel.
  const detail::CairoSurfaceHandle pixel(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  for (const double side : {128.0, 256.0, 512.0, 1024.0}) {
    for (const MarkdownSkim& page : pages) {
      const ThumbnailReply reply = replyForSkim(page, {side, side}, {0, 0});
      paintSurface(pixel.get(), reply.contextSize.height,
                   [&](Canvas& canvas) { reply.drawingBlock(canvas); });
    }
  }
}

}  // namespace

void keepFontAnswersForPages() {
  keepFontAnswers(drawSamplePages);
}

std::string keepSystemFontAnswersForPages() {
  return keepSystemFontAnswers(drawSamplePages);
}

void becomeDrawer(const std::vector<std::string>& readablePaths) {
  keepOnlyTheChannel();
  confine(drawerConfinement(readablePaths));
}

int serveDrawer() {
  for (;;) {
    Message message = receiveMessage(drawerChannel, maxRequestBytes);
    if (message.status == Message::Status::closed) return 0;
    if (message.status != Message::Status::received) return 1;
    const std::optional<DrawRequest> request = decodeRequest(message.body);
    if (!request || !message.descriptor) return 1;
    const DrawReply reply = drawDocument(message.descriptor.get(), *request);
    message.descriptor.reset();
    if (!sendMessage(drawerChannel, encodeReply(reply))) return 1;
  }
}

DrawReply drawDocument(int document, const DrawRequest& request) {
  try {
    int error = 0;
    const MarkdownSkim skimmed = skimWhileLoadingFonts(document, request, error);
    if (error) return {.failure = DrawFailure::read, .error = error, .message = {}, .images = {}};
    DrawReply reply;
    if (request.format == DrawnFormat::skimJson) {
      reply.images.push_back({.width = 0, .height = 0, .bytes = skimToJson(skimmed)});
      return reply;
    }
    for (const PageSize& size : request.pages) {
      std::optional<DrawnImage> image = drawPage(skimmed, size, request);
      if (!image) return {.failure = DrawFailure::draw, .error = 0, .message = {}, .images = {}};
      reply.images.push_back(std::move(*image));
    }
    return reply;
  } catch (const std::bad_alloc&) {
    return {.failure = DrawFailure::draw, .error = ENOMEM, .message = {}, .images = {}};
  }
}

}  // namespace tamsel
