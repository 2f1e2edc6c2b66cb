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
  const auto& example = GetParam();
  const auto limit = example.settings.find("limit");
  RequestQueue queue(limit == example.settings.end() ? 10 : std::stoul(limit->second));
  std::istringstream lines(example.input);
  std::string answers;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream call(line);
    std::string verb, uri, flavor, urgent;
    std::uint32_t handle = 0;
    call >> verb;
    if (verb == "add") {
      call >> handle >> uri >> flavor >> urgent;
      constexpr const char* added[] = {"queued", "joined", "full"};
      answers += added[static_cast<int>(
          queue.add(handle, uri, "text/plain", *flavorFromName(flavor), urgent == "urgent"))];
    } else if (verb == "dequeue") {
      call >> handle;
      answers += queue.dequeue(handle) ? "yes" : "no";
    } else if (verb == "take") {
      answers += jobText(queue.take());
    } else {
      for (const char* space = ""; auto job = queue.take(); space = " ") {
        answers += space;
        answers += jobText(job);
      }
    }
    answers += "\n";
  }
  EXPECT_EQ(answers, example.expected) << example.where;
}

INSTANTIATE_TEST_SUITE_P(Examples, RequestQueueCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/service/queue_cases")),
                         testing::caseName);

}  // namespace
}  // namespace tamsel
