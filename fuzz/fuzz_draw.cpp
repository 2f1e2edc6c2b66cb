// SPDX-License-Identifier: MIT
// Paints arbitrary skims at arbitrary page sizes: through the recording canvas
// at any size, and through Cairo and Pango on a small image whatever the page.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "render/draw_skim.h"
#include "render/image.h"
#include "skim/markdown_skim.h"
#include "support/recording_canvas.h"

namespace {

using tamsel::MarkdownSkim;

// Sizes worth hitting often, besides arbitrary ones.
double pageSide(FuzzedDataProvider& input) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double odd[] = {0,   -1,  1e-9, 0.5, 1,   2,   17.3, 128,
                            256, 512, 1024, 1e4, 1e6, 1e9, nan,  inf};
  if (input.ConsumeBool()) return input.PickValueInArray(odd);
  return input.ConsumeFloatingPointInRange(-10.0, 20000.0);
}

MarkdownSkim arbitrarySkim(FuzzedDataProvider& input) {
  MarkdownSkim skim;
  skim.title = input.ConsumeRandomLengthString(200);
  int count = input.ConsumeIntegralInRange(0, 30);
  for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0:
        skim.blocks.push_back(MarkdownSkim::Block::body(input.ConsumeRandomLengthString(400)));
        break;
      case 1:
        skim.blocks.push_back(MarkdownSkim::Block::heading(input.ConsumeRandomLengthString(100)));
        break;
      case 2:
        skim.blocks.push_back(MarkdownSkim::Block::bullet(input.ConsumeRandomLengthString(200)));
        break;
      default: {
        std::vector<std::string> lines(input.ConsumeIntegralInRange(0, 10));
        for (auto& line : lines) line = input.ConsumeRandomLengthString(150);
        skim.blocks.push_back(MarkdownSkim::Block::mono(std::move(lines)));
      }
    }
  }
  return skim;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  double width = pageSide(input);
  double height = pageSide(input);
  double imageSide = input.ConsumeFloatingPointInRange(1.0, 96.0);
  MarkdownSkim skim = arbitrarySkim(input);

  tamsel::RecordingCanvas recording;
  tamsel::drawSkim(skim, {.x = 0, .y = 0, .width = width, .height = height}, recording);

  // The page may be far larger than the image: Cairo clips, Pango still lays
  // every line out at the page's font sizes.
  tamsel::renderImage(imageSide, imageSide, [&](tamsel::Canvas& canvas) {
    tamsel::drawSkim(skim, {.x = 0, .y = 0, .width = width, .height = height}, canvas);
  });
  return 0;
}
