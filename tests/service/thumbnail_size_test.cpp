// SPDX-License-Identifier: MIT
#include "service/thumbnail_size.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

TEST(ThumbnailSizeTest, FitsThePageThenRaisesToTheMinimum) {
  const struct {
    const char* what;
    Size maximum, minimum, expected;
  } cases[] = {
      {"a square is fitted by height", {512, 512}, {0, 0}, {395.776, 512}},
      {"a tall box is fitted by width", {256, 1024}, {0, 0}, {256, 331.177231565}},
      {"a minimum below the page changes nothing", {64, 64}, {32, 32}, {49.472, 64}},
      {"a minimum equal to a side keeps it", {256, 256}, {0, 256}, {197.888, 256}},
      {"a minimum above both sides loses the aspect", {100, 100}, {120, 120}, {120, 120}},
      {"zero stays zero", {0, 0}, {0, 0}, {0, 0}},
      {"fractions pass unchanged", {0.5, 10}, {0, 0}, {0.5, 0.646830530}},
  };
  for (const auto& c : cases) {
    const Size size = thumbnailSize(c.maximum, c.minimum);
    EXPECT_NEAR(size.width, c.expected.width, 1e-9) << c.what;
    EXPECT_NEAR(size.height, c.expected.height, 1e-9) << c.what;
  }
}

TEST(ThumbnailSizeTest, ExactAspectIsFittedByHeight) {
  // MW == MH * aspect must take the second branch: height stays MH exactly,
  // where MW / aspect rounds to a different value for these heights.
  for (const double height : {13.0, 97.0, 119.0}) {
    const Size size = thumbnailSize({height * pageAspect, height}, {0, 0});
    EXPECT_EQ(size.height, height);
    EXPECT_EQ(size.width, height * pageAspect);
  }
}

}  // namespace
}  // namespace tamsel
