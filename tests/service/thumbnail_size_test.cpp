#include "service/thumbnail_size.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

struct SizeCase {
  Size maximum;
  Size minimum;
  Size expected;
};

class ThumbnailSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(ThumbnailSizeTest, FitsThePageThenRaisesToTheMinimum) {
  const SizeCase& c = GetParam();
  const Size size = thumbnailSize(c.maximum, c.minimum);
  EXPECT_DOUBLE_EQ(size.width, c.expected.width);
  EXPECT_DOUBLE_EQ(size.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(Table, ThumbnailSizeTest,
                         testing::Values(SizeCase{{512, 512}, {0, 0}, {395.776, 512}},
                                         SizeCase{{256, 1024}, {0, 0}, {256, 256 / 0.773}},
                                         SizeCase{{1024, 256}, {0, 0}, {197.888, 256}},
                                         SizeCase{{64, 64}, {32, 32}, {49.472, 64}},
                                         // Both clamps: the page's aspect is lost.
                                         SizeCase{{100, 100}, {120, 120}, {120, 120}},
                                         SizeCase{{0, 0}, {0, 0}, {0, 0}},
                                         // A minimum equal to the fitted side keeps it.
                                         SizeCase{{256, 256}, {0, 256}, {197.888, 256}},
                                         SizeCase{{0.5, 10}, {0, 0}, {0.5, 0.5 / 0.773}}));

TEST(ThumbnailSizeTest, ExactAspectIsFittedByHeight) {
  // MW == MH * aspect must take the second branch: height stays MH exactly,
  // where MW / aspect could round to a different value.
  for (const double height : {100.0, 256.0, 333.0, 1000.0}) {
    const double width = height * pageAspect;
    const Size size = thumbnailSize({width, height}, {0, 0});
    EXPECT_EQ(size.height, height);
    EXPECT_EQ(size.width, width);
  }
}

}  // namespace
}  // namespace tamsel
