// SPDX-License-Identifier: MIT
#include "text/pattern.h"

#include <utility>

namespace tamsel {
namespace {

// Bounds on one match. The system's patterns are linear on the 64 KiB a
// document is cut to; the limits only stop a runaway, never a real match.
// The time limit is in ICU's steps of about a few milliseconds each.
constexpr int32_t regexTimeLimit = 100;
constexpr int32_t regexStackLimit = 1 << 20;

}  // namespace

Pattern::Pattern(const char16_t* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, parseError, status));
  if (U_SUCCESS(status)) pattern_ = std::move(compiled);
}

// A matcher borrowed from the pool for one call, reset to the call's text,
// and handed back afterwards. Empty when the pattern is invalid or ICU fails.
class Pattern::Lease {
 public:
  Lease(const Pattern& owner, const icu::UnicodeString& text) : owner_(owner) {
    if (!owner_.pattern_) return;
    {
      std::lock_guard lock(owner_.poolMutex_);
      if (!owner_.pool_.empty()) {
        matcher_ = std::move(owner_.pool_.back());
        owner_.pool_.pop_back();
      }
    }
    if (!matcher_) matcher_ = owner_.newMatcher();
    if (matcher_) matcher_->reset(text);
  }
  ~Lease() {
    if (!matcher_) return;
    // The matcher keeps a pointer to the text it was reset to; let it point
    // at something that outlives the call instead.
    static const icu::UnicodeString nothing;
    matcher_->reset(nothing);
    std::lock_guard lock(owner_.poolMutex_);
    owner_.pool_.push_back(std::move(matcher_));
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  icu::RegexMatcher* operator->() const { return matcher_.get(); }
  explicit operator bool() const { return matcher_ != nullptr; }

 private:
  const Pattern& owner_;
  std::unique_ptr<icu::RegexMatcher> matcher_;
};

Pattern::~Pattern() = default;

std::unique_ptr<icu::RegexMatcher> Pattern::newMatcher() const {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(status));
  if (U_FAILURE(status)) return nullptr;
  matcher->setTimeLimit(regexTimeLimit, status);
  matcher->setStackLimit(regexStackLimit, status);
  if (U_FAILURE(status)) return nullptr;
  return matcher;
}

std::optional<Utf16Range> Pattern::firstMatch(const icu::UnicodeString& text) const {
  Lease matcher(*this, text);
  if (!matcher) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher->find(status) || U_FAILURE(status)) return std::nullopt;
  int32_t start = matcher->start(status);
  int32_t end = matcher->end(status);
  if (U_FAILURE(status)) return std::nullopt;
  return Utf16Range{start, end - start};
}

std::vector<Utf16Range> Pattern::matches(const icu::UnicodeString& text) const {
  std::vector<Utf16Range> found;
  Lease matcher(*this, text);
  if (!matcher) return found;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find(status) && U_SUCCESS(status)) {
    int32_t start = matcher->start(status);
    int32_t end = matcher->end(status);
    if (U_FAILURE(status)) break;
    found.push_back({start, end - start});
  }
  return found;
}

icu::UnicodeString Pattern::replaceAll(const icu::UnicodeString& text,
                                       const icu::UnicodeString& replacement) const {
  Lease matcher(*this, text);
  if (!matcher) return text;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = matcher->replaceAll(replacement, status);
  return U_SUCCESS(status) ? result : text;
}

}  // namespace tamsel
