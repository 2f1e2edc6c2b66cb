// SPDX-License-Identifier: MIT
#pragma once

namespace tamsel {

// A width and height in points (one point is one pixel at scale 1).
struct Size {
  double width = 0;
  double height = 0;
};

// Width divided by height of the thumbnail page.
constexpr double pageAspect = 0.773;

// The thumbnail size for a request: a page of aspect pageAspect fitted into
// `maximum`, then each side separately raised to `minimum` when it is not
// larger. So a minimum above the fitted page loses the aspect. Pure, 64-bit
// floating point throughout; fractions pass unchanged and 0 x 0 stays 0 x 0.
// Callers that need finite, positive sizes check the input themselves: NaN or
// negative sides come back as the arithmetic makes them.
Size thumbnailSize(Size maximum, Size minimum);

}  // namespace tamsel
