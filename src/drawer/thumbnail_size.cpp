// SPDX-License-Identifier: MIT
#include "drawer/thumbnail_size.h"

namespace tamsel {

Size thumbnailSize(Size maximum, Size minimum) {
  Size size;
  // Strictly less: a maximum of exactly the page's aspect is fitted by height.
  if (maximum.width < maximum.height * pageAspect) {
    size = {.width = maximum.width, .height = maximum.width / pageAspect};
  } else {
    size = {.width = maximum.height * pageAspect, .height = maximum.height};
  }
  if (size.height <= minimum.height) size.height = minimum.height;
  if (size.width <= minimum.width) size.width = minimum.width;
  return size;
}

}  // namespace tamsel
