// SPDX-License-Identifier: MIT
// Runs the examples in tests/service/queue_cases/*.txt (format there and in
// tests/support/example_cases.h).
#include "service/resident/request_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "service/cache/cache_options.h"
#include "support/example_cases.h"

namespace tamsel {
namespace {

std::string jobText(const std::optional<ThumbnailJob>& job) {
  if (!job) return "none";
  std::string text = job->uri;
  text += '/';
  text += flavorName(job->flavor);
  char separator = ':';
  for (const std::uint32_t handle : job->handles) {
    text += separator;
    text += std::to_string(handle);
    separator = ',';
  }
  return text;
}

class RequestQueueCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(RequestQueueCases, MatchesExample) {
  RequestQueue queue(std::stoul(testing::setting(GetParam(), "limit", "10")));
  const auto answer = [&](const std::string& line) {
    std::istringstream call(line);
    std::string verb, uri, flavor, urgent, answers;
    std::uint32_t handle = 0;
    call >> verb >> handle >> uri >> flavor >> urgent;
    if (verb == "add") {
      constexpr const char* added[] = {"queued", "joined", "full"};
      return std::string(added[static_cast<int>(
          queue.add(handle, uri, "text/plain", *flavorFromName(flavor), urgent == "urgent"))]);
    }
    if (verb == "dequeue") return std::string(queue.dequeue(handle) ? "yes" : "no");
    if (verb == "take") return jobText(queue.take());
    for (const char* space = ""; auto job = queue.take(); space = " ") {
      answers += space;
      answers += jobText(job);
    }
    return answers;
  };
  testing::expectEachLine(GetParam(), answer);
}

INSTANTIATE_TEST_SUITE_P(Examples, RequestQueueCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/service/queue_cases")),
                         testing::caseName);

}  // namespace
}  // namespace tamsel
