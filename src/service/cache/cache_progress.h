// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>

namespace tamsel {

// How a cache run ended, by document.
struct CacheCounts {
  std::size_t made = 0;    // rendered and written
  std::size_t fresh = 0;   // already cached for the file as it is
  std::size_t failed = 0;  // reported on a line of their own
  // Skipped: their failure is recorded for the file as it is.
  std::size_t failedEarlier = 0;
};

// Redraws of the progress line per second at most: smooth to the eye, and
// cheap for a terminal however fast the files go by.
constexpr int progressRedrawsPerSecond = 10;
constexpr auto progressRedrawInterval = std::chrono::milliseconds(1000) / progressRedrawsPerSecond;

// Cells of the progress bar: with the figures beside it, the line fits an
// 80-column terminal.
constexpr std::size_t progressBarWidth = 24;

// One progress line, without line break: a bar, done/total, the rate in
// documents per second and the time left at that rate, e.g.
// "[############            ] 1000/2000  1530/s  0:01 left". Before anything
// is done, or when no time has passed, rate and time left are left out.
std::string progressLine(std::size_t done, std::size_t total, double seconds);

// The closing line, without line break, e.g.
// "1990 made, 10 fresh, 0 failed, 2 failed earlier in 1.31 s".
std::string summaryLine(const CacheCounts& counts, double seconds);

// What a person sees of a run, on one stream (stderr): a line per failure and a
// closing summary, plus, when `showProgress` (the stream is a terminal), a
// progress line redrawn in place. Failures may be reported from any thread;
// the progress line is drawn by one thread only.
class CacheReporter {
 public:
  CacheReporter(std::ostream& out, bool showProgress);

  // The number of documents the progress line counts towards.
  void setTotal(std::size_t total);

  // One line: `path` (quoted so no file name can break the line), ": ",
  // `cause`. Thread-safe.
  void failed(const std::string& path, const std::string& cause);

  // Redraws the progress line with `done` documents finished, unless it was
  // drawn less than progressRedrawInterval ago. No-op without progress.
  void progress(std::size_t done);

  // Clears the progress line and writes the summary.
  void finish(const CacheCounts& counts);

  double elapsedSeconds() const;

 private:
  void clearProgressLocked();

  using Clock = std::chrono::steady_clock;
  std::mutex mutex_;  // guards out_, total_, lastDrawn_ and progressShown_
  std::ostream& out_;
  const bool showProgress_;
  std::size_t total_ = 0;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point lastDrawn_{};
  bool progressShown_ = false;
};

}  // namespace tamsel
