// SPDX-License-Identifier: MIT
// Skims the sample documents; the targets are a 2 KB README in 20 µs
// and a 64 KiB document in 200 µs (median, one core).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "skim/skim.h"

namespace {

std::string readSample(const char* name) {
  std::ifstream in(std::string(TAMSEL_SOURCE_DIR "/data/samples/") + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void skimSample(benchmark::State& state, const char* name) {
  const std::string bytes = readSample(name);
  if (bytes.empty()) {
    state.SkipWithError("sample missing");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(tamsel::skim(bytes, name));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
}

// A 64 KiB text that keeps the block pass busy to its limits: long
// paragraphs, every line a candidate for cleanup, no title to stop early.
std::string worstCaseDocument() {
  std::string text;
  const std::string line =
      "Some *emphasis*, a [link](https://example.org/a/b) and ![img](i.png) <b>tag</b> "
      "with a_snake_case_identifier_that_is_longer_than_the_limit\n";
  while (text.size() < tamsel::decodeByteLimit) text += line;
  return text;
}

void skimWorstCase(benchmark::State& state) {
  const std::string bytes = worstCaseDocument();
  for (auto _ : state) benchmark::DoNotOptimize(tamsel::skim(bytes, "worst.md"));
}

BENCHMARK_CAPTURE(skimSample, readme_2KB, "readme.md");
BENCHMARK_CAPTURE(skimSample, guide_4KB_front_matter, "field-guide.md");
BENCHMARK_CAPTURE(skimSample, changelog_64KiB, "changelog.md");
BENCHMARK_CAPTURE(skimSample, japanese, "teriyaki-ja.md");
BENCHMARK_CAPTURE(skimSample, utf16, "einkaufsliste-utf16.md");
BENCHMARK(skimWorstCase);

}  // namespace

BENCHMARK_MAIN();
