// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "service/cache/cache_options.h"

namespace tamsel {

// One document to bring up to date in one flavor, and every request handle
// that waits for it.
struct ThumbnailJob {
  std::string uri;
  std::string mimeType;
  CacheFlavor flavor = CacheFlavor::large;
  std::vector<std::uint32_t> handles;  // in the order they were asked
};

// The requests not yet taken by a worker: urgent ones first, each line in the
// order asked. A request for a document and flavor that already waits joins
// that job instead of queueing a second drawing. At most `limit` jobs wait, so
// a host that queues faster than pages are drawn is told to go elsewhere
// instead of growing the process without bound. Not thread-safe: the owner
// locks around it.
class RequestQueue {
 public:
  explicit RequestQueue(std::size_t limit) : limit_(limit) {}

  enum class Added { queued, joined, full };

  // Queues `handle` for (uri, flavor). An urgent request also moves a job it
  // joins to the urgent line (at its end). `full` leaves the queue as it was.
  Added add(std::uint32_t handle, const std::string& uri, const std::string& mimeType,
            CacheFlavor flavor, bool urgent);

  // Takes `handle` out of the job waiting for it, dropping a job that no one
  // waits for any more. False when no waiting job has it (unknown, or already
  // taken by a worker).
  bool dequeue(std::uint32_t handle);

  // The next job to draw, removed from the queue; nullopt when none waits.
  std::optional<ThumbnailJob> take();

  std::size_t size() const { return urgent_.size() + normal_.size(); }

 private:
  std::size_t limit_;
  std::deque<ThumbnailJob> urgent_;
  std::deque<ThumbnailJob> normal_;
};

}  // namespace tamsel
