// SPDX-License-Identifier: MIT
#include "support/icu_pattern.h"

#include <unicode/regex.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "text/patterns.h"

namespace tamsel::testing {
namespace {

// A pattern compiled with no flags and matched as the product did: within
// 100 of ICU's steps of 10,000 backtracking states and 1 MiB of stack.
struct Reference {
  explicit Reference(const char16_t* pattern) : matcher(pattern, 0, status) {
    matcher.setTimeLimit(100, status);
    matcher.setStackLimit(1 << 20, status);
    if (U_FAILURE(status)) std::abort();
  }
  icu::RegexMatcher& on(const icu::UnicodeString& text) {
    status = U_ZERO_ERROR;
    return matcher.reset(text);
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::RegexMatcher matcher;
};

std::vector<Utf16Range> matches(Reference& pattern, const icu::UnicodeString& text) {
  std::vector<Utf16Range> found;
  for (icu::RegexMatcher& m = pattern.on(text); m.find(pattern.status);) {
    const int32_t start = m.start(pattern.status);
    found.push_back({start, m.end(pattern.status) - start});
  }
  return found;
}

// As the product did, `text` itself when a limit stopped the search.
icu::UnicodeString replaced(Reference& pattern, const icu::UnicodeString& text,
                            const char16_t* with) {
  const icu::UnicodeString result = pattern.on(text).replaceAll(with, pattern.status);
  return U_FAILURE(pattern.status) ? text : result;
}

}  // namespace

std::string disagreement(const icu::UnicodeString& text, int* stopped) {
  static Reference frontMatter(u"^---[ \\t]*\\r?\\n[\\s\\S]*?\\r?\\n---[ \\t]*\\r?(\\n|$)");
  static Reference image(u"!\\[[^\\]]*\\]\\([^)]*\\)");
  static Reference link(u"\\[([^\\]]*)\\]\\([^)]*\\)");
  static Reference tag(u"<[^>]+>");
  static Reference space(u"\\s+");
  static Reference word(u"\\b[A-Za-z_][A-Za-z0-9_]*\\b");
  static Reference quoted(u"\"[^\"\\n]*\"|'[^'\\n]*'");
  std::string found;
  const auto compare = [&](const char* name, const Reference& pattern, bool same) {
    if (U_FAILURE(pattern.status)) {
      if (stopped) ++*stopped;
    } else if (!same && found.empty()) {
      found = name;
    }
  };
  // "^" allows one match only, which the product stripped.
  const std::vector<Utf16Range> front = matches(frontMatter, text);
  compare("front matter", frontMatter,
          frontMatterLength(text) == (front.empty() ? 0 : front[0].length));
  compare("image", image, withoutImages(text) == replaced(image, text, u""));
  compare("link", link, withLinksAsText(text) == replaced(link, text, u"$1"));
  compare("tag", tag, withoutTags(text) == replaced(tag, text, u""));
  compare("space", space, withSpaceRunsJoined(text) == replaced(space, text, u" "));
  compare("word", word, identifierRanges(text) == matches(word, text));
  compare("quoted", quoted, quotedRanges(text) == matches(quoted, text));
  return found;
}

}  // namespace tamsel::testing
