// SPDX-License-Identifier: MIT
// Whole pages: skim, layout, draw and PNG encoding of each sample document
// at 256 px (a page of 197.888 x 256), in one process. Targets: at most
// 0.8 ms a page; peak RSS at most 20 MiB and flat over 10,000 pages.
//
//   build-render/bench/render/bench_render
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "render/draw_skim.h"
#include "render/image.h"
#include "skim/skim.h"

namespace {

constexpr double pageWidth = 197.888;
constexpr double pageHeight = 256;
constexpr int longRunPages = 10'000;
constexpr int warmPages = 100;

struct Sample {
  std::string name;
  std::string bytes;
};

std::vector<Sample> loadSamples() {
  std::vector<Sample> samples;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(TAMSEL_SOURCE_DIR) + "/data/samples")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    samples.push_back(
        {entry.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {})});
  }
  std::sort(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.name < b.name; });
  return samples;
}

std::size_t renderPage(const Sample& sample) {
  const tamsel::MarkdownSkim skim = tamsel::skim(sample.bytes, sample.name);
  const auto png = tamsel::renderImage(pageWidth, pageHeight, [&](tamsel::Canvas& canvas) {
    tamsel::drawSkim(skim, {.x = 0, .y = 0, .width = pageWidth, .height = pageHeight}, canvas);
  });
  return png ? png->size() : 0;
}

// Peak resident set size of this process so far, in KiB.
double peakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6));
  }
  return 0;
}

void pagePng(benchmark::State& state, const Sample& sample) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = renderPage(sample);
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["png_bytes"] = static_cast<double>(bytes);
  state.counters["peak_rss_KiB"] = peakRssKiB();
}

void manyPages(benchmark::State& state, const std::vector<Sample>& samples) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < warmPages; ++i) {
      benchmark::DoNotOptimize(renderPage(samples[i % samples.size()]));
    }
    const double warm = peakRssKiB();
    for (int i = warmPages; i < longRunPages; ++i) {
      benchmark::DoNotOptimize(renderPage(samples[i % samples.size()]));
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    state.counters["ms_per_page"] = elapsed.count() / longRunPages;
    state.counters["peak_rss_KiB_after_100"] = warm;
    state.counters["peak_rss_KiB_after_10000"] = peakRssKiB();
  }
}

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<Sample> samples = loadSamples();
  for (const Sample& sample : samples) {
    benchmark::RegisterBenchmark(("page_png/" + sample.name).c_str(), pagePng, sample)
        ->Unit(benchmark::kMicrosecond);
  }
  if (!samples.empty()) {
    benchmark::RegisterBenchmark("pages_10000", manyPages, samples)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
