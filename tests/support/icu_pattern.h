// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/unistr.h>

#include <string>

namespace tamsel::testing {

// The first of the matchers in text/patterns.h that disagrees on `text`
// with ICU's engine, run as the product once ran it, by name; "" when all
// agree. A pattern that stopped at ICU's limits is not compared but counted
// in `*stopped`. One thread at a time.
std::string disagreement(const icu::UnicodeString& text, int* stopped = nullptr);

}  // namespace tamsel::testing
