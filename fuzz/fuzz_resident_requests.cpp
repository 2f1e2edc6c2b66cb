// SPDX-License-Identifier: MIT
// Plays arbitrary calls from hosts against the resident service's request
// checks and queue, without a bus, and holds them to what hosts are promised:
// every handle a Queue call returns ends exactly once (refused, dequeued or
// drawn), and only URIs of local files reach a worker.
//
// The input is NUL-separated words, as a bus message's strings are:
//   Q URI MIME_TYPE FLAVOR URGENT("1" or not)   a Queue call
//   D HANDLE (decimal)                          a Dequeue call
//   T                                           a worker takes the next job
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "platform/file_url.h"
#include "require.h"
#include "service/resident/request_queue.h"

namespace {

using namespace tamsel;

// Small, so a few calls fill the queue.
constexpr std::size_t queueLimit = 4;

class Calls {
 public:
  explicit Calls(std::string_view words) : words_(words) {}

  void run() {
    while (!words_.empty()) {
      const std::string_view command = next();
      if (command == "Q") {
        queue();
      } else if (command == "D") {
        dequeue();
      } else if (command == "T") {
        take();
      }
      require(queue_.size() <= queueLimit, "more than the limit waits");
    }
    while (take()) {
    }
    for (const auto& [handle, ends] : ends_) require(ends == 1, "a handle never ends");
  }

 private:
  std::string_view next() {
    const std::size_t nul = std::min(words_.find('\0'), words_.size());
    const std::string_view word = words_.substr(0, nul);
    words_.remove_prefix(std::min(nul + 1, words_.size()));
    return word;
  }

  void end(std::uint32_t handle) {
    const auto given = ends_.find(handle);
    require(given != ends_.end(), "a handle never given ends");
    require(++given->second == 1, "a handle ends twice");
  }

  void queue() {
    const std::string uri(next());
    const std::string mimeType(next());
    const std::string_view flavor = next();
    const bool urgent = next() == "1";
    const std::uint32_t handle = requestHandle(++count_);
    const auto checked = checkRequest(uri, flavor);
    if (const auto* refusal = std::get_if<Refusal>(&checked)) {
      require(!refusal->message.empty(), "a refusal without a message");
      ends_[handle] = 0;
      end(handle);
    } else if (queue_.add(handle, uri, mimeType, std::get<CacheFlavor>(checked), urgent) !=
               RequestQueue::Added::full) {
      ends_[handle] = 0;
    }
  }

  void dequeue() {
    const std::string_view word = next();
    std::uint32_t handle = 0;
    std::from_chars(word.data(), word.data() + word.size(), handle);
    if (queue_.dequeue(handle)) end(handle);
  }

  bool take() {
    const auto job = queue_.take();
    if (!job) return false;
    require(!job->handles.empty(), "a job no one waits for");
    require(filePathFromURL(job->uri).has_value(), "a worker gets a URI of no local file");
    for (const std::uint32_t handle : job->handles) end(handle);
    return true;
  }

  std::string_view words_;
  RequestQueue queue_{queueLimit};
  std::uint32_t count_ = 0;
  std::map<std::uint32_t, int> ends_;  // each handle given, and how often it ended
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Calls({reinterpret_cast<const char*>(data), size}).run();
  return 0;
}
