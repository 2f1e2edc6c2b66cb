// Pages drawn on several threads at once come out as they do on one.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "render/draw_skim.h"
#include "render/image.h"

namespace tamsel {
namespace {

constexpr int threadCount = 4;
constexpr int pagesPerThread = 8;

std::optional<std::string> page(const MarkdownSkim& skim) {
  return renderImage(198, 256, [&](Canvas& canvas) {
    drawSkim(skim, {.x = 0, .y = 0, .width = 197.888, .height = 256}, canvas);
  });
}

TEST(DrawSkimConcurrently, MatchesTheSingleThreadedPage) {
  using Block = MarkdownSkim::Block;
  const MarkdownSkim skim{.title = "Concurrent pages",
                          .blocks = {Block::heading("Layout"), Block::body("Some words to wrap."),
                                     Block::bullet("one"), Block::mono({"let x = \"y\""})}};
  const auto reference = page(skim);
  ASSERT_TRUE(reference);

  std::vector<int> mismatches(threadCount, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < pagesPerThread; ++i) {
        if (page(skim) != reference) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < threadCount; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace tamsel
