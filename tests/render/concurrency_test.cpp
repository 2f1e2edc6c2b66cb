// Pages drawn on several threads at once come out as they do on one.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "render/draw_skim.h"
#include "render/image.h"

namespace tamsel {
namespace {

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
  std::atomic<int> mismatches = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 8; ++i) {
        if (page(skim) != reference) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tamsel
