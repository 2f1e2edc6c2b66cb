// SPDX-License-Identifier: MIT
#include "text/patterns.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <string_view>
#include <utility>

namespace tamsel {
namespace {

// The first `unit` at or after a position, for positions that never move
// back: a run of starts that fail on the same missing unit then scans the
// text once rather than once each, which keeps every matcher linear.
class NextUnit {
 public:
  NextUnit(const char16_t* units, int32_t length, char16_t unit)
      : units_(units), length_(length), unit_(unit) {}

  // The length when there is none.
  int32_t from(int32_t position) {
    if (found_ < position) {
      found_ = position;
      while (found_ < length_ && units_[found_] != unit_) ++found_;
    }
    return found_;
  }

 private:
  const char16_t* units_;
  int32_t length_;
  char16_t unit_;
  int32_t found_ = -1;
};

// A text rebuilt with some of its spans replaced, left to right; the text
// itself when nothing was.
class Replacer {
 public:
  explicit Replacer(const icu::UnicodeString& text) : text_(text) {}

  void replace(int32_t start, int32_t end, std::u16string_view with) {
    result_.append(text_, copied_, start - copied_);
    result_.append(with.data(), static_cast<int32_t>(with.size()));
    copied_ = end;
    replaced_ = true;
  }

  icu::UnicodeString finish() && {
    if (!replaced_) return text_;
    return std::move(result_.append(text_, copied_, text_.length() - copied_));
  }

 private:
  const icu::UnicodeString& text_;
  icu::UnicodeString result_;
  int32_t copied_ = 0;
  bool replaced_ = false;
};

// "[...](...)" from an "[": "[^\]]*" and "[^)]*" run to the first "]" and
// ")", and backing off a run never brings either closer, so the match is
// that or none. Starts must come in increasing order.
class BracketMatcher {
 public:
  BracketMatcher(const char16_t* units, int32_t length)
      : units_(units),
        length_(length),
        bracket_(units, length, u']'),
        paren_(units, length, u')') {}

  // The end of the match whose "[" is at `open`, or -1; `close()` is then
  // where its "]" is.
  int32_t endFrom(int32_t open) {
    close_ = bracket_.from(open + 1);
    if (close_ + 1 >= length_ || units_[close_ + 1] != u'(') return -1;
    const int32_t paren = paren_.from(close_ + 2);
    return paren < length_ ? paren + 1 : -1;
  }
  int32_t close() const { return close_; }

 private:
  const char16_t* units_;
  int32_t length_;
  NextUnit bracket_;
  NextUnit paren_;
  int32_t close_ = 0;
};

// The units past the end read as 0, which no pattern here asks for.
class Units {
 public:
  explicit Units(const icu::UnicodeString& text)
      : units_(text.getBuffer()), length_(text.length()) {}
  char16_t operator[](int32_t i) const { return i < length_ ? units_[i] : 0; }
  int32_t length() const { return length_; }

 private:
  const char16_t* units_;
  int32_t length_;
};

// "\r?\n" at `i`: its end, or -1.
int32_t lineBreakEnd(const Units& text, int32_t i) {
  if (text[i] == u'\r' && text[i + 1] == u'\n') return i + 2;
  return text[i] == u'\n' ? i + 1 : -1;
}

// "---[ \t]*" at `i`: its end, or -1. Backing off the blanks never helps
// what follows, which must be a line break or the end.
int32_t fenceEnd(const Units& text, int32_t i) {
  if (text[i] != u'-' || text[i + 1] != u'-' || text[i + 2] != u'-') return -1;
  for (i += 3; text[i] == u' ' || text[i] == u'\t'; ++i) {
  }
  return i;
}

bool isLineTerminator(char16_t c) {
  return (c >= u'\n' && c <= u'\r') || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// "$" without the multi-line flag: the end of the text, before a line
// terminator that ends it (not between the CR and LF of a last CR LF), or
// before a last CR LF.
bool atEnd(const Units& text, int32_t i) {
  const int32_t length = text.length();
  if (i >= length) return true;
  if (i == length - 1) {
    return isLineTerminator(text[i]) && !(text[i] == u'\n' && i > 0 && text[i - 1] == u'\r');
  }
  return i == length - 2 && text[i] == u'\r' && text[i + 1] == u'\n';
}

// "\r?(\n|$)" at `i`, the optional CR taken first: its end, or -1.
int32_t closingEnd(const Units& text, int32_t i) {
  if (text[i] == u'\r') {
    if (text[i + 1] == u'\n') return i + 2;
    if (atEnd(text, i + 1)) return i + 1;
  }
  if (text[i] == u'\n') return i + 1;
  return atEnd(text, i) ? i : -1;
}

bool isWhiteSpace(char16_t c) {
  if (c < 0x80) return c == u' ' || (c >= u'\t' && c <= u'\r');
  return u_isUWhiteSpace(c);  // White_Space lies in the BMP, off the surrogates
}

bool isIdentifierStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isIdentifierPart(char16_t c) {
  return isIdentifierStart(c) || (c >= u'0' && c <= u'9');
}

// Characters that "\b" sees through.
bool isCombining(UChar32 c) {
  if (c < 0x80) return false;
  return u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) || u_charType(c) == U_FORMAT_CHAR;
}

// "\w": [\p{Alphabetic}\p{M}\p{Nd}\p{Pc}\u200c\u200d], less the last two,
// format characters that "\b" never asks about.
bool isWordCharacter(UChar32 c) {
  if (c < 0x80) return isIdentifierPart(static_cast<char16_t>(c));
  constexpr uint32_t categories = U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK;
  return u_isUAlphabetic(c) || (U_GET_GC_MASK(c) & categories) != 0;
}

// Whether the first character before `i` that is not combining is a word
// character; false when there is none.
bool wordCharacterBefore(const char16_t* units, int32_t i) {
  while (i > 0) {
    UChar32 c;
    U16_PREV(units, 0, i, c);
    if (!isCombining(c)) return isWordCharacter(c);
  }
  return false;
}

}  // namespace

int32_t frontMatterLength(const icu::UnicodeString& text) {
  const Units units(text);
  const int32_t opening = fenceEnd(units, 0);
  const int32_t body = opening < 0 ? -1 : lineBreakEnd(units, opening);
  if (body < 0) return 0;
  // The lazy body grows a character at a time; a closing fence can only
  // follow at a line break.
  for (int32_t i = body; i < units.length(); ++i) {
    const int32_t fence = lineBreakEnd(units, i);
    const int32_t blanks = fence < 0 ? -1 : fenceEnd(units, fence);
    const int32_t end = blanks < 0 ? -1 : closingEnd(units, blanks);
    if (end >= 0) return end;
  }
  return 0;
}

icu::UnicodeString withoutImages(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  BracketMatcher brackets(units, length);
  Replacer result(text);
  for (int32_t i = 0; i + 1 < length; ++i) {
    if (units[i] != u'!' || units[i + 1] != u'[') continue;
    const int32_t end = brackets.endFrom(i + 1);
    if (end < 0) continue;
    result.replace(i, end, u"");
    i = end - 1;
  }
  return std::move(result).finish();
}

icu::UnicodeString withLinksAsText(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  BracketMatcher brackets(units, length);
  Replacer result(text);
  for (int32_t i = 0; i < length; ++i) {
    if (units[i] != u'[') continue;
    const int32_t end = brackets.endFrom(i);
    if (end < 0) continue;
    result.replace(i, end, std::u16string_view(units + i + 1, brackets.close() - i - 1));
    i = end - 1;
  }
  return std::move(result).finish();
}

icu::UnicodeString withoutTags(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  NextUnit closing(units, length, u'>');
  Replacer result(text);
  for (int32_t i = 0; i < length; ++i) {
    if (units[i] != u'<') continue;
    const int32_t close = closing.from(i + 1);
    if (close == length || close == i + 1) continue;
    result.replace(i, close + 1, u"");
    i = close;
  }
  return std::move(result).finish();
}

icu::UnicodeString withSpaceRunsJoined(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  Replacer result(text);
  for (int32_t i = 0; i < length; ++i) {
    if (!isWhiteSpace(units[i])) continue;
    int32_t end = i + 1;
    while (end < length && isWhiteSpace(units[end])) ++end;
    // A lone space stands for itself; leaving it saves copying the text.
    if (end - i > 1 || units[i] != u' ') result.replace(i, end, u" ");
    i = end - 1;
  }
  return std::move(result).finish();
}

std::vector<Utf16Range> identifierRanges(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  std::vector<Utf16Range> ranges;
  for (int32_t i = 0; i < length;) {
    if (!isIdentifierStart(units[i])) {
      ++i;
      continue;
    }
    // No boundary falls inside a run of ASCII word characters, so only the
    // whole run can match, and no later start inside it can.
    int32_t end = i + 1;
    while (end < length && isIdentifierPart(units[end])) ++end;
    bool boundaryAtEnd = true;
    if (end < length) {
      UChar32 next;
      U16_GET(units, 0, end, length, next);
      boundaryAtEnd = !isCombining(next) && !isWordCharacter(next);
    }
    if (boundaryAtEnd && !wordCharacterBefore(units, i)) ranges.push_back({i, end - i});
    i = end;
  }
  return ranges;
}

std::vector<Utf16Range> quotedRanges(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  std::vector<Utf16Range> ranges;
  // A failed start leaves no quote of its kind before the line feed, so at
  // most two failures on a line scan its rest.
  for (int32_t i = 0; i < length; ++i) {
    const char16_t quote = units[i];
    if (quote != u'"' && quote != u'\'') continue;
    int32_t close = i + 1;
    while (close < length && units[close] != quote && units[close] != u'\n') ++close;
    if (close == length || units[close] != quote) continue;
    ranges.push_back({i, close + 1 - i});
    i = close;
  }
  return ranges;
}

}  // namespace tamsel
