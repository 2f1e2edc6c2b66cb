// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tamsel {

// A span of a text in UTF-16 code units, the unit every match is reported in.
struct Utf16Range {
  int32_t start = 0;
  int32_t length = 0;
};

// A fixed regular expression with ICU's meaning, compiled with no flags.
//
// Compiled once and shared: an icu::RegexPattern is immutable, so one Pattern
// may be used from any number of threads at once; each call borrows a
// matcher of its own from the pattern's pool. A pattern that fails to
// compile is kept as invalid; every operation on it is then a no-op, as the
// callers expect of a broken step.
//
// Each match runs under a time and stack limit, so no input can make a
// pattern run away; a match that hits a limit ends the search as if nothing
// further matched.
class Pattern {
 public:
  explicit Pattern(const char16_t* pattern);
  ~Pattern();
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  bool valid() const { return pattern_ != nullptr; }

  // The leftmost match in the whole of `text`, or nothing.
  std::optional<Utf16Range> firstMatch(const icu::UnicodeString& text) const;

  // Every non-overlapping match, left to right.
  std::vector<Utf16Range> matches(const icu::UnicodeString& text) const;

  // `text` with every non-overlapping match, left to right, replaced by
  // `replacement`, in which "$1" stands for capture group 1. Captured text
  // is inserted verbatim and not scanned again. `text` unchanged when the
  // pattern is invalid.
  icu::UnicodeString replaceAll(const icu::UnicodeString& text,
                                const icu::UnicodeString& replacement) const;

 private:
  class Lease;

  std::unique_ptr<icu::RegexMatcher> newMatcher() const;

  std::unique_ptr<icu::RegexPattern> pattern_;
  // Matchers not in use. Making one allocates its backtracking stack, which
  // costs more than matching the short texts most calls pass.
  mutable std::mutex poolMutex_;
  mutable std::vector<std::unique_ptr<icu::RegexMatcher>> pool_;
};

}  // namespace tamsel
