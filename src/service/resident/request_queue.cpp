// SPDX-License-Identifier: MIT
#include "service/resident/request_queue.h"

#include <algorithm>

#include "platform/file_url.h"

namespace tamsel {
namespace {

using Line = std::deque<ThumbnailJob>;

Line::iterator findJob(Line& line, const std::string& uri, CacheFlavor flavor) {
  return std::find_if(line.begin(), line.end(), [&](const ThumbnailJob& job) {
    return job.flavor == flavor && job.uri == uri;
  });
}

}  // namespace

std::variant<CacheFlavor, Refusal> checkRequest(std::string_view uri, std::string_view flavor) {
  const std::optional<CacheFlavor> known = flavorFromName(flavor);
  if (!known) {
    return Refusal{.code = HostError::unsupportedFlavor,
                   .message = "no thumbnail flavor '" + std::string(flavor) + "'"};
  }
  if (!filePathFromURL(uri)) {
    return Refusal{.code = HostError::unsupported, .message = "not a local file"};
  }
  return *known;
}

RequestQueue::Added RequestQueue::add(std::uint32_t handle, const std::string& uri,
                                      const std::string& mimeType, CacheFlavor flavor,
                                      bool urgent) {
  if (auto job = findJob(urgent_, uri, flavor); job != urgent_.end()) {
    job->handles.push_back(handle);
    return Added::joined;
  }
  if (auto job = findJob(normal_, uri, flavor); job != normal_.end()) {
    job->handles.push_back(handle);
    if (urgent) {
      urgent_.push_back(std::move(*job));
      normal_.erase(job);
    }
    return Added::joined;
  }
  if (size() >= limit_) return Added::full;
  (urgent ? urgent_ : normal_)
      .push_back({.uri = uri, .mimeType = mimeType, .flavor = flavor, .handles = {handle}});
  return Added::queued;
}

bool RequestQueue::dequeue(std::uint32_t handle) {
  for (Line* line : {&urgent_, &normal_}) {
    for (auto job = line->begin(); job != line->end(); ++job) {
      const auto found = std::find(job->handles.begin(), job->handles.end(), handle);
      if (found == job->handles.end()) continue;
      job->handles.erase(found);
      if (job->handles.empty()) line->erase(job);
      return true;
    }
  }
  return false;
}

std::optional<ThumbnailJob> RequestQueue::take() {
  Line& line = urgent_.empty() ? normal_ : urgent_;
  if (line.empty()) return std::nullopt;
  ThumbnailJob job = std::move(line.front());
  line.pop_front();
  return job;
}

}  // namespace tamsel
