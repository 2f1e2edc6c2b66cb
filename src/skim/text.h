// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <string_view>

// Text helpers shared by the skimming phases. Texts are icu::UnicodeString;
// offsets are UTF-16 code units. A "character" is a user-perceived character
// (an extended grapheme cluster), so a "#" followed by a combining mark is
// one character that is not "#", and CR LF is one character.
namespace tamsel::detail {

// True for the characters a trim removes: tab and General Category Zs.
// Line feeds, carriage returns and U+200B are not among them.
bool isTrimmable(UChar32 c);

// `text` without tab and Zs code points at either end.
icu::UnicodeString trim(const icu::UnicodeString& text);

// True when `text` is empty once trimmed.
bool isBlank(const icu::UnicodeString& text);

// Walks the characters of one text from left to right. ASCII is stepped
// without segmentation; anything else goes to ICU's character break
// iterator, one per thread, so constructing a cursor is cheap.
//
// The cursor keeps a reference to `text`: the text must outlive it and stay
// unchanged while it is in use. Cursors may nest; a nested one clones its
// own iterator.
class CharacterCursor {
 public:
  explicit CharacterCursor(const icu::UnicodeString& text);
  ~CharacterCursor();
  CharacterCursor(const CharacterCursor&) = delete;
  CharacterCursor& operator=(const CharacterCursor&) = delete;

  // The end of the character that starts at `offset`, a character boundary
  // below the text's length. Never more than the length.
  //
  // No segmentation rule joins two ASCII characters except CR LF, and there
  // is always a break after LF; everything else asks the iterator.
  int32_t nextBoundary(int32_t offset) {
    if (offset + 1 >= length_) return length_;
    const char16_t unit = units_[offset];
    const char16_t following = units_[offset + 1];
    if (unit < 0x80 && following < 0x80) {
      return unit == u'\r' && following == u'\n' ? offset + 2 : offset + 1;
    }
    return slowNextBoundary(offset);
  }

  // True when `offset` (0 to the length) falls between two characters.
  bool isBoundary(int32_t offset) {
    if (offset <= 0 || offset >= length_) return true;
    const char16_t before = units_[offset - 1];
    const char16_t after = units_[offset];
    if (before < 0x80 && after < 0x80) return !(before == u'\r' && after == u'\n');
    return slowIsBoundary(offset);
  }

  // The offset after the first `count` characters from `offset`, or the
  // text's length when fewer remain.
  int32_t advance(int32_t offset, int32_t count);

 private:
  bool ensureIterator();
  int32_t slowNextBoundary(int32_t offset);
  bool slowIsBoundary(int32_t offset);

  const icu::UnicodeString& text_;
  const char16_t* units_;
  int32_t length_;
  icu::BreakIterator* iterator_ = nullptr;             // set on first need
  std::unique_ptr<icu::BreakIterator> ownedIterator_;  // when the thread's is lent out
  bool borrowedThreadIterator_ = false;
  bool iteratorUnavailable_ = false;
};

// True when `text` begins with the characters of `prefix`, compared as
// whole characters: the character after the prefix must start right where
// the prefix ends. `prefix` must be ASCII without CR.
bool startsWithCharacters(const icu::UnicodeString& text, std::u16string_view prefix);

// Code points kept of one character: a letter with thousands of combining
// marks is still one character, and shaping it would take seconds.
constexpr int32_t characterCodePointLimit = 32;

// `text` cut after its first `count` characters, each character cut after
// its first `characterCodePointLimit` code points.
icu::UnicodeString firstCharacters(const icu::UnicodeString& text, int32_t count);

// True when the character's first code point has Numeric_Type Decimal,
// Digit or Numeric: "7", "١", "½" and "Ⅻ" are numeric.
bool isNumeric(UChar32 c);

// UTF-8 bytes of `text`; a lone surrogate comes out as U+FFFD.
std::string toUtf8(const icu::UnicodeString& text);

// `bytes` (shorter than 2 GiB) decoded as UTF-8, each maximal ill-formed
// subpart replaced by U+FFFD. Never fails.
icu::UnicodeString fromUtf8Repairing(std::string_view bytes);

}  // namespace tamsel::detail
