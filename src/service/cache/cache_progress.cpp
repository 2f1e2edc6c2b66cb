// SPDX-License-Identifier: MIT
#include "service/cache/cache_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "service/command_line.h"

namespace tamsel {
namespace {

// Carriage return, then erase to the end of the line: the line is redrawn in
// place and a shorter line leaves nothing of a longer one behind.
constexpr std::string_view clearLine = "\r\x1b[K";

std::string minutesSeconds(double seconds) {
  const auto whole = std::llround(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::string progressLine(std::size_t done, std::size_t total, double seconds) {
  const double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  const std::size_t filled = std::min(
      progressBarWidth,
      static_cast<std::size_t>(std::floor(fraction * static_cast<double>(progressBarWidth))));
  std::string line;
  line.append(1, '[').append(filled, '#').append(progressBarWidth - filled, ' ').append("] ");
  line.append(std::to_string(done)).append(1, '/').append(std::to_string(total));
  if (done > 0 && done <= total && seconds > 0) {
    const double rate = static_cast<double>(done) / seconds;
    line += "  " + std::to_string(std::llround(rate)) + "/s  " +
            minutesSeconds(static_cast<double>(total - done) / rate) + " left";
  }
  return line;
}

std::string summaryLine(const CacheCounts& counts, double seconds) {
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  return std::to_string(counts.made) + " made, " + std::to_string(counts.fresh) + " fresh, " +
         std::to_string(counts.failed) + " failed, " + std::to_string(counts.failedEarlier) +
         " failed earlier in " + time + " s";
}

CacheReporter::CacheReporter(std::ostream& out, bool showProgress)
    : out_(out), showProgress_(showProgress) {}

void CacheReporter::setTotal(std::size_t total) {
  const std::lock_guard lock(mutex_);
  total_ = total;
}

void CacheReporter::failed(const std::string& path, const std::string& cause) {
  const std::lock_guard lock(mutex_);
  clearProgressLocked();
  out_ << quotedPath(path) << ": " << cause << '\n' << std::flush;
}

void CacheReporter::progress(std::size_t done) {
  if (!showProgress_) return;
  const auto now = Clock::now();
  const std::lock_guard lock(mutex_);
  if (progressShown_ && now - lastDrawn_ < progressRedrawInterval) return;
  lastDrawn_ = now;
  out_ << clearLine << progressLine(done, total_, elapsedSeconds()) << std::flush;
  progressShown_ = true;
}

void CacheReporter::finish(const CacheCounts& counts) {
  const std::lock_guard lock(mutex_);
  clearProgressLocked();
  out_ << summaryLine(counts, elapsedSeconds()) << '\n' << std::flush;
}

double CacheReporter::elapsedSeconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

void CacheReporter::clearProgressLocked() {
  if (!progressShown_) return;
  out_ << clearLine;
  progressShown_ = false;
}

}  // namespace tamsel
