// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "service/cache/cache_options.h"

namespace tamsel {

// The codes of tumblerd's error domain, which it passes on to its clients.
enum class HostError : int {
  unsupported = 0,
  invalidFormat = 2,
  saveFailed = 4,
  unsupportedFlavor = 5,
};

// Why a request is answered with Error as soon as its handle is given.
struct Refusal {
  HostError code;
  std::string message;
};

// The flavor a Queue call for `uri` in `flavor` asks for, or its refusal: a
// flavor not spelled as flavorName spells one, or a URI naming no local file
// (filePathFromURL). Any bytes; pure and thread-safe.
std::variant<CacheFlavor, Refusal> checkRequest(std::string_view uri, std::string_view flavor);

// The handle of the `count`th request. Tumbler up to 4.20 matches Finished
// against a word its own stack happens to hold rather than the handle it was
// given, and on a match locks memory that is no mutex, hanging its main loop.
// Such a word is mostly a small count or part of a user-space pointer,
// neither of which has bit 31 set; handles do.
constexpr std::uint32_t requestHandle(std::uint32_t count) {
  constexpr std::uint32_t handleMark = 0x8000'0000u;
  return handleMark | (count & ~handleMark);
}

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
