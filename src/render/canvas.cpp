// SPDX-License-Identifier: MIT
#include "render/canvas.h"

#include <algorithm>
#include <memory>

namespace tamsel {

std::vector<ColorRun> flattenRuns(const StyledText& styled) {
  const std::size_t size = styled.text.size();
  auto clippedEnd = [size](const ColorRun& run) {
    return run.start >= size ? size : run.start + std::min(run.length, size - run.start);
  };

  std::vector<std::size_t> cuts;
  for (const ColorRun& run : styled.runs) {
    cuts.push_back(std::min(run.start, size));
    cuts.push_back(clippedEnd(run));
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

  // Between two neighbouring cuts one run, the last covering that span,
  // decides the colour; neighbours decided by the same run are merged.
  std::vector<ColorRun> flat;
  const ColorRun* previous = nullptr;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    const ColorRun* winner = nullptr;
    for (const ColorRun& run : styled.runs) {
      if (run.start <= cuts[i] && clippedEnd(run) >= cuts[i + 1]) winner = &run;
    }
    if (winner && winner == previous) {
      flat.back().length += cuts[i + 1] - cuts[i];
    } else if (winner) {
      flat.push_back({.start = cuts[i], .length = cuts[i + 1] - cuts[i], .color = winner->color});
    }
    previous = winner;
  }
  return flat;
}

}  // namespace tamsel
