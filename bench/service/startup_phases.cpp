// Where one cold thumbnail's time goes inside the process, phase by phase, as
// the command line runs them; then the same phases again, warm. Process
// start-up before main (dynamic linking) is not included: scripts/bench
// reports it from LD_DEBUG=statistics.
//
//   bench_service_startup [DOCUMENT] [SIZE]
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "render/draw_skim.h"
#include "render/image.h"
#include "service/thumbnail_provider.h"
#include "skim/skim.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point& last) {
  const auto now = Clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - last).count();
  last = now;
  return ms;
}

void runOnce(const char* label, const std::string& path, double side) {
  using namespace tamsel;
  auto last = Clock::now();
  const std::string bytes = readDocumentHead(path);
  const double read = msSince(last);
  const MarkdownSkim page = skim(bytes, "document.md");
  const double skimmed = msSince(last);
  FcInit();
  const double fontconfig = msSince(last);
  pango_cairo_font_map_get_default();
  const double fontMap = msSince(last);
  const double width = side * 0.773;
  const auto blank = renderImage(width, side, [](Canvas&) {});
  const double blankImage = msSince(last);
  const auto image = renderImage(width, side, [&](Canvas& canvas) {
    drawSkim(page, Rect{0, 0, width, side}, canvas);
  });
  const double drawn = msSince(last);
  std::printf(
      "%-5s read %6.3f  skim %6.3f  FcInit %6.3f  font map %6.3f  "
      "blank PNG %6.3f  page PNG %6.3f ms  (%zu bytes)\n",
      label, read, skimmed, fontconfig, fontMap, blankImage, drawn, image ? image->size() : 0);
  (void)blank;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(TAMSEL_SOURCE_DIR) + "/data/samples/readme.md";
  const double side = argc > 2 ? std::stod(argv[2]) : 256;
  runOnce("cold", path, side);
  for (int i = 0; i < 3; ++i) runOnce("warm", path, side);
}
