// SPDX-License-Identifier: MIT
#include "service/resident/request_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

// The jobs in the order workers get them: "uri/flavor:handle,handle ...".
std::string drain(RequestQueue& queue) {
  std::string order;
  while (auto job = queue.take()) {
    if (!order.empty()) order += ' ';
    order += job->uri;
    order += '/';
    order += flavorName(job->flavor);
    char separator = ':';
    for (const std::uint32_t handle : job->handles) {
      order += separator;
      order += std::to_string(handle);
      separator = ',';
    }
  }
  return order;
}

TEST(RequestQueue, UrgentFirstThenAskedOrderAndOneDrawingPerDocumentAndFlavor) {
  RequestQueue queue(10);
  const auto large = CacheFlavor::large;
  EXPECT_EQ(queue.add(1, "a", "text/plain", large, false), RequestQueue::Added::queued);
  EXPECT_EQ(queue.add(2, "b", "text/plain", large, false), RequestQueue::Added::queued);
  EXPECT_EQ(queue.add(3, "a", "text/plain", CacheFlavor::normal, false),
            RequestQueue::Added::queued);
  EXPECT_EQ(queue.add(4, "c", "text/plain", large, true), RequestQueue::Added::queued);
  EXPECT_EQ(queue.add(5, "a", "text/plain", large, false), RequestQueue::Added::joined);
  // An urgent request for a waiting document takes it to the urgent line.
  EXPECT_EQ(queue.add(6, "b", "text/plain", large, true), RequestQueue::Added::joined);
  EXPECT_EQ(drain(queue), "c/large:4 b/large:2,6 a/large:1,5 a/normal:3");
}

TEST(RequestQueue, DequeuedHandlesAreNotDrawnAndTakenOnesAreNotFound) {
  RequestQueue queue(10);
  queue.add(1, "a", "text/plain", CacheFlavor::large, false);
  queue.add(2, "a", "text/plain", CacheFlavor::large, false);
  queue.add(3, "b", "text/plain", CacheFlavor::large, true);
  queue.add(4, "c", "text/plain", CacheFlavor::large, false);
  EXPECT_TRUE(queue.dequeue(1));
  EXPECT_TRUE(queue.dequeue(3));
  EXPECT_FALSE(queue.dequeue(3));
  ASSERT_EQ(queue.take()->handles, std::vector<std::uint32_t>{2});
  EXPECT_FALSE(queue.dequeue(2));
  EXPECT_EQ(drain(queue), "c/large:4");
}

TEST(RequestQueue, RefusesNewDocumentsWhenFullButStillJoinsWaitingOnes) {
  RequestQueue queue(2);
  queue.add(1, "a", "text/plain", CacheFlavor::large, false);
  queue.add(2, "b", "text/plain", CacheFlavor::large, false);
  EXPECT_EQ(queue.add(3, "c", "text/plain", CacheFlavor::large, true), RequestQueue::Added::full);
  EXPECT_EQ(queue.add(4, "b", "text/plain", CacheFlavor::large, false),
            RequestQueue::Added::joined);
  EXPECT_EQ(drain(queue), "a/large:1 b/large:2,4");
}

}  // namespace
}  // namespace tamsel
