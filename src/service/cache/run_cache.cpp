// SPDX-License-Identifier: MIT
#include "service/cache/run_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "render/image.h"
#include "service/cache/document_walk.h"
#include "service/cache/thumbnail_file.h"
#include "service/thumbnail_provider.h"
#include "version.h"

namespace tamsel {
namespace {

constexpr std::string_view software = "tamsel-thumbnail " TAMSEL_VERSION;

enum class Outcome { made, fresh, failed, failedEarlier };

struct Result {
  Outcome outcome;
  std::string cause;  // why it failed
};

Result failure(std::string cause) {
  return {.outcome = Outcome::failed, .cause = std::move(cause)};
}

// One size the documents are drawn at.
struct FlavorTarget {
  std::string directory;  // the flavor's cache directory
  Size maximum;
};

// What every worker reads and nothing writes.
struct RunSetup {
  const DocumentList& documents;
  std::vector<FlavorTarget> flavors;
  std::string failDirectory;
  bool force = false;
};

// The failure entry the thumbnail standard asks for: a 1 x 1 PNG with the
// URI and mtime of the file as it failed. Best effort: the failure itself is
// reported either way, and a missing entry only means trying again next run.
void recordFailure(const RunSetup& setup, const std::string& name, const std::string& uri,
                   std::int64_t mtime) {
  const std::vector<PngText> text{
      {.key = "Thumb::URI", .value = uri},
      {.key = "Thumb::MTime", .value = std::to_string(mtime)},
      {.key = "Software", .value = std::string(software)},
  };
  const auto image = renderImage(
      1, 1, [](Canvas&) {}, ImageFormat::png, text);
  if (!image || makeThumbnailDirectory(setup.failDirectory) != 0) return;
  writeThumbnailFile(setup.failDirectory, name, *image);
}

Result makeThumbnails(const RunSetup& setup, const CacheDocument& document) {
  const std::string path = setup.documents.pathOf(document);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return failure(std::strerror(errno));
  const std::optional<std::string> uri = fileUriOf(path);
  if (!uri) return failure("no file URI for this path");

  const std::string name = thumbnailFileName(*uri);
  const std::int64_t mtime = info.st_mtim.tv_sec;
  std::vector<const FlavorTarget*> stale;
  for (const FlavorTarget& flavor : setup.flavors) {
    if (setup.force || !isFreshThumbnail(flavor.directory + "/" + name, *uri, mtime)) {
      stale.push_back(&flavor);
    }
  }
  if (stale.empty()) return {.outcome = Outcome::fresh, .cause = {}};
  const std::string failEntry = setup.failDirectory + "/" + name;
  if (!setup.force && isFreshThumbnail(failEntry, *uri, mtime)) {
    return {.outcome = Outcome::failedEarlier, .cause = {}};
  }

  // Read and skimmed once, drawn at each size; the single-file thumbnailer's
  // skim and page, so both draw the same pixels.
  FileSkim file = skimFile(path);
  if (file.error) {
    recordFailure(setup, name, *uri, mtime);
    return failure(file.error.message());
  }
  const std::vector<PngText> text{
      {.key = "Thumb::URI", .value = *uri},
      {.key = "Thumb::MTime", .value = std::to_string(mtime)},
      {.key = "Thumb::Size", .value = std::to_string(info.st_size)},
      {.key = "Thumb::Mimetype", .value = std::string(document.mimeType)},
      {.key = "Software", .value = std::string(software)},
  };
  for (const FlavorTarget* flavor : stale) {
    const ThumbnailReply reply = replyForSkim(file.skim, flavor->maximum, {});
    const std::optional<std::string> image = renderReply(reply, ImageFormat::png, text);
    if (!image) {
      recordFailure(setup, name, *uri, mtime);
      return failure("cannot draw the thumbnail");
    }
    if (const int error = writeThumbnailFile(flavor->directory, name, *image)) {
      return failure("cannot write " + flavor->directory + "/" + name + ": " +
                     std::strerror(error));
    }
  }
  // A failure recorded for an older version of the file is void now.
  ::unlink(failEntry.c_str());
  return {.outcome = Outcome::made, .cause = {}};
}

// The state the workers share: the next document to take and the counts.
struct SharedProgress {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> made{0};
  std::atomic<std::size_t> fresh{0};
  std::atomic<std::size_t> failed{0};
  std::atomic<std::size_t> failedEarlier{0};
  std::atomic<std::size_t> done{0};

  std::mutex mutex;  // guards workersLeft, for the progress thread's wait
  std::condition_variable allDone;
  unsigned workersLeft = 0;
};

void work(const RunSetup& setup, SharedProgress& shared, CacheReporter& reporter) {
  const auto& documents = setup.documents.documents;
  for (std::size_t i = shared.next++; i < documents.size(); i = shared.next++) {
    const Result result = makeThumbnails(setup, documents[i]);
    switch (result.outcome) {
      case Outcome::made:
        ++shared.made;
        break;
      case Outcome::fresh:
        ++shared.fresh;
        break;
      case Outcome::failed:
        ++shared.failed;
        reporter.failed(setup.documents.pathOf(documents[i]), result.cause);
        break;
      case Outcome::failedEarlier:
        ++shared.failedEarlier;
        break;
    }
    ++shared.done;
  }
  const std::lock_guard lock(shared.mutex);
  if (--shared.workersLeft == 0) shared.allDone.notify_all();
}

unsigned workerCount(const CacheOptions& options, std::size_t documents) {
  unsigned jobs = options.jobs;
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  jobs = std::min(jobs, maxCacheJobs);
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(jobs, documents)));
}

}  // namespace

CacheCounts buildCache(const CacheOptions& options, CacheReporter& reporter) {
  std::size_t walkFailures = 0;
  const DocumentList documents =
      findDocuments(options.paths, [&](const std::string& path, int error) {
        ++walkFailures;
        reporter.failed(path, std::strerror(error));
      });
  reporter.setTotal(documents.documents.size());

  const std::string cacheHome =
      options.cacheHome.empty() ? environmentCacheHome() : options.cacheHome;
  RunSetup setup{.documents = documents,
                 .flavors = {},
                 .failDirectory = failDirectory(cacheHome),
                 .force = options.force};
  for (const CacheFlavor flavor : options.flavors) {
    const auto side = static_cast<double>(flavorMaximum(flavor));
    setup.flavors.push_back({.directory = thumbnailDirectory(cacheHome, flavor),
                             .maximum = {.width = side, .height = side}});
  }
  if (documents.documents.empty()) return {.failed = walkFailures};

  // One line for the directory rather than one per document.
  for (const FlavorTarget& flavor : setup.flavors) {
    if (const int error = makeThumbnailDirectory(flavor.directory)) {
      reporter.failed(flavor.directory, std::strerror(error));
      return {.failed = walkFailures + documents.documents.size()};
    }
  }

  SharedProgress shared;
  const unsigned workers = workerCount(options, documents.documents.size());
  shared.workersLeft = workers;
  std::vector<std::jthread> threads;
  threads.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) {
    threads.emplace_back([&] { work(setup, shared, reporter); });
  }
  {
    std::unique_lock lock(shared.mutex);
    while (!shared.allDone.wait_for(lock, progressRedrawInterval,
                                    [&] { return shared.workersLeft == 0; })) {
      reporter.progress(shared.done.load());
    }
  }
  threads.clear();
  return {.made = shared.made,
          .fresh = shared.fresh,
          .failed = walkFailures + shared.failed,
          .failedEarlier = shared.failedEarlier};
}

std::string failDirectory(const std::string& cacheHome) {
  return cacheHome + "/thumbnails/fail/tamsel-thumbnail-" TAMSEL_VERSION;
}

int runCache(const CacheOptions& options, std::ostream& errors, bool showProgress) {
  CacheReporter reporter(errors, showProgress);
  const CacheCounts counts = buildCache(options, reporter);
  reporter.finish(counts);
  return counts.failed == 0 ? 0 : 1;
}

int runCache(const CacheOptions& options) {
  return runCache(options, std::cerr, ::isatty(STDERR_FILENO) == 1);
}

}  // namespace tamsel
