// SPDX-License-Identifier: MIT
// Where one cold thumbnail's time goes inside the process, phase by phase, in
// the order the command line runs them when skimming and font loading do not
// overlap; then the same phases again, warm. Process start-up before main
// (dynamic linking) is not included: scripts/bench reports it from
// LD_DEBUG=statistics.
//
//   bench_service_startup [DOCUMENT] [SIZE]
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "drawer/thumbnail_size.h"
#include "platform/document_head.h"
#include "render/cairo_canvas.h"
#include "render/draw_skim.h"
#include "render/font_setup.h"
#include "render/handles.h"
#include "render/image.h"
#include "skim/decode.h"
#include "skim/skim.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point& last) {
  const auto now = Clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - last).count();
  last = now;
  return ms;
}

// The page painted on a surface of its own, without encoding it.
void paintOnly(const tamsel::MarkdownSkim& page, const tamsel::Size& size) {
  using namespace tamsel;
  detail::CairoSurfaceHandle surface(cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, static_cast<int>(size.width) + 1, static_cast<int>(size.height) + 1));
  detail::CairoHandle cairo(cairo_create(surface.get()));
  CairoCanvas canvas(cairo.get(), size.height);
  drawSkim(page, Rect{0, 0, size.width, size.height}, canvas);
}

void runOnce(const char* label, const std::string& path, double side) {
  using namespace tamsel;
  const Size size = thumbnailSize({side, side}, {0, 0});
  auto last = Clock::now();
  const std::string bytes = readDocumentHead(path, decodeByteLimit).bytes;
  const double read = msSince(last);
  const MarkdownSkim page = skim(bytes, "document.md");
  const double skimmed = msSince(last);
  setUpFontConfig();
  const double fontconfig = msSince(last);
  preparePageFonts(size.width);
  const double fonts = msSince(last);
  paintOnly(page, size);
  const double painted = msSince(last);
  const auto image = renderImage(size.width, size.height, [&](Canvas& canvas) {
    drawSkim(page, Rect{0, 0, size.width, size.height}, canvas);
  });
  const double rendered = msSince(last);
  std::printf(
      "%-5s read %6.3f  skim %6.3f  fontconfig %6.3f  page fonts %6.3f  "
      "paint %6.3f  paint+PNG %6.3f ms  (%zu bytes)\n",
      label, read, skimmed, fontconfig, fonts, painted, rendered, image ? image->size() : 0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(TAMSEL_SOURCE_DIR) + "/data/samples/readme.md";
  const double side = argc > 2 ? std::stod(argv[2]) : 256;
  runOnce("cold", path, side);
  for (int i = 0; i < 3; ++i) runOnce("warm", path, side);
}
