// SPDX-License-Identifier: MIT
#include "service/cache/run_cache.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "drawer/drawer_client.h"
#include "service/cache/cache_writer.h"
#include "service/cache/document_walk.h"
#include "service/cache/thumbnail_file.h"
#include "version.h"

namespace tamsel {
namespace {

// What every worker reads and nothing writes.
struct RunSetup {
  const DocumentList& documents;
  std::vector<CacheTarget> flavors;
  std::string failDirectory;
  bool force = false;
  std::string drawerProgram;
};

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
  // Each worker its own drawer, started with its first document and again
  // after one fails.
  DrawerClient drawer = DrawerClient::program(setup.drawerProgram);
  for (std::size_t i = shared.next++; i < documents.size(); i = shared.next++) {
    const CacheDocument& document = documents[i];
    const std::string path = setup.documents.pathOf(document);
    const std::optional<std::string> uri = fileUriOf(path);
    const CacheResult result =
        uri ? writeDocumentThumbnails(drawer, path, *uri, document.mimeType, setup.flavors,
                                      setup.failDirectory, setup.force)
            : CacheResult{.outcome = CacheOutcome::failed, .cause = "no file URI for this path"};
    switch (result.outcome) {
      case CacheOutcome::made:
        ++shared.made;
        break;
      case CacheOutcome::fresh:
        ++shared.fresh;
        break;
      case CacheOutcome::failed:
      case CacheOutcome::unwritable:
        ++shared.failed;
        reporter.failed(path, result.cause);
        break;
      case CacheOutcome::failedEarlier:
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

CacheCounts buildCache(const CacheOptions& options, CacheReporter& reporter,
                       const BeforeDrawing& beforeDrawing) {
  std::size_t walkFailures = 0;
  const DocumentList documents =
      findDocuments(options.paths, [&](const std::string& path, int error) {
        ++walkFailures;
        reporter.failed(path, std::strerror(error));
      });
  reporter.setTotal(documents.documents.size());

  const std::string cacheHome =
      options.cacheHome.empty() ? environmentCacheHome() : options.cacheHome;
  RunSetup setup{
      .documents = documents,
      .flavors = {},
      .failDirectory = failDirectory(cacheHome),
      .force = options.force,
      .drawerProgram = options.drawerProgram.empty() ? drawerProgramPath() : options.drawerProgram};
  for (const CacheFlavor flavor : options.flavors) {
    const auto side = static_cast<double>(flavorMaximum(flavor));
    setup.flavors.push_back({.directory = thumbnailDirectory(cacheHome, flavor),
                             .maximum = {.width = side, .height = side}});
  }
  if (documents.documents.empty()) return {.failed = walkFailures};

  // One line for the directory rather than one per document.
  for (const CacheTarget& flavor : setup.flavors) {
    if (const int error = makeThumbnailDirectory(flavor.directory)) {
      reporter.failed(flavor.directory, std::strerror(error));
      return {.failed = walkFailures + documents.documents.size()};
    }
  }

  if (beforeDrawing) beforeDrawing(documents, cacheHome);

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
  return thumbnailsRoot(cacheHome) + "/fail/tamsel-thumbnail-" TAMSEL_VERSION;
}

int runCache(const CacheOptions& options, std::ostream& errors, bool showProgress,
             const BeforeDrawing& beforeDrawing) {
  CacheReporter reporter(errors, showProgress);
  const CacheCounts counts = buildCache(options, reporter, beforeDrawing);
  reporter.finish(counts);
  return counts.failed == 0 ? 0 : 1;
}

}  // namespace tamsel
