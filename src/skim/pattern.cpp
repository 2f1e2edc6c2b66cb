#include "skim/pattern.h"

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

std::unique_ptr<icu::RegexMatcher> Pattern::matcherFor(const icu::UnicodeString& text) const {
  if (!pattern_) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(text, status));
  if (U_FAILURE(status)) return nullptr;
  matcher->setTimeLimit(regexTimeLimit, status);
  matcher->setStackLimit(regexStackLimit, status);
  if (U_FAILURE(status)) return nullptr;
  return matcher;
}

std::optional<Utf16Range> Pattern::firstMatch(const icu::UnicodeString& text) const {
  auto matcher = matcherFor(text);
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
  auto matcher = matcherFor(text);
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
  auto matcher = matcherFor(text);
  if (!matcher) return text;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = matcher->replaceAll(replacement, status);
  return U_SUCCESS(status) ? result : text;
}

}  // namespace tamsel
