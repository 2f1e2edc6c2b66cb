// SPDX-License-Identifier: MIT
#include "skim/text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstddef>
#include <memory>

namespace tamsel::detail {
namespace {

// Creating a character break iterator loads rules and costs far more than a
// whole skim, so each thread keeps one and lends it to one cursor at a time.
struct ThreadIterator {
  std::unique_ptr<icu::BreakIterator> iterator;
  bool created = false;
  bool lent = false;
};

thread_local ThreadIterator threadIterator;

std::unique_ptr<icu::BreakIterator> createIterator() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) return nullptr;
  return iterator;
}

// Inside one character no two neighbouring code points both have
// Grapheme_Cluster_Break Other, so a character over the limit holds at least
// half the limit of other code points. Prose holds few; counting them costs
// far less than segmenting a text that holds no long character.
bool mayHoldLongCharacter(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = units ? text.length() : 0;
  if (length <= characterCodePointLimit) return false;
  int32_t joining = 0;
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U16_NEXT(units, i, length, c);
    const bool other = c < 0x80
                           ? c >= 0x20 && c != 0x7F
                           : u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_OTHER;
    if (!other && ++joining >= characterCodePointLimit / 2) return true;
  }
  return false;
}

}  // namespace

bool isTrimmable(UChar32 c) {
  if (c < 0x80) return c == u' ' || c == u'\t';
  return u_charType(c) == U_SPACE_SEPARATOR;
}

// Tab and every Zs character lie in the BMP, so testing code units is exact.
icu::UnicodeString trim(const icu::UnicodeString& text) {
  int32_t start = 0;
  int32_t end = text.length();
  while (start < end && isTrimmable(text[start])) ++start;
  while (end > start && isTrimmable(text[end - 1])) --end;
  if (start == 0 && end == text.length()) return text;
  return icu::UnicodeString(text, start, end - start);
}

bool isBlank(const icu::UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); ++i) {
    if (!isTrimmable(text[i])) return false;
  }
  return true;
}

CharacterCursor::CharacterCursor(const icu::UnicodeString& text)
    : text_(text), units_(text.getBuffer()), length_(units_ ? text.length() : 0) {}

CharacterCursor::~CharacterCursor() {
  if (borrowedThreadIterator_) threadIterator.lent = false;
}

bool CharacterCursor::ensureIterator() {
  if (iterator_) return true;
  if (iteratorUnavailable_) return false;
  if (!threadIterator.created) {
    threadIterator.iterator = createIterator();
    threadIterator.created = true;
  }
  if (threadIterator.iterator && !threadIterator.lent) {
    iterator_ = threadIterator.iterator.get();
    threadIterator.lent = true;
    borrowedThreadIterator_ = true;
  } else if (threadIterator.iterator) {
    ownedIterator_.reset(threadIterator.iterator->clone());
    iterator_ = ownedIterator_.get();
  }
  if (!iterator_) {
    iteratorUnavailable_ = true;
    return false;
  }
  iterator_->setText(text_);
  return true;
}

int32_t CharacterCursor::slowNextBoundary(int32_t offset) {
  // Without ICU's break data, code points are the best characters we have.
  if (!ensureIterator()) return text_.moveIndex32(offset, 1);
  const int32_t next = iterator_->following(offset);
  return next == icu::BreakIterator::DONE ? length_ : next;
}

bool CharacterCursor::slowIsBoundary(int32_t offset) {
  if (!ensureIterator()) return !(U16_IS_LEAD(units_[offset - 1]) && U16_IS_TRAIL(units_[offset]));
  return iterator_->isBoundary(offset);
}

int32_t CharacterCursor::advance(int32_t offset, int32_t count) {
  for (int32_t i = 0; i < count && offset < length_; ++i) offset = nextBoundary(offset);
  return offset;
}

bool startsWithCharacters(const icu::UnicodeString& text, std::u16string_view prefix) {
  const auto size = static_cast<int32_t>(prefix.size());
  if (text.length() < size) return false;
  if (text.compare(0, size, prefix.data(), 0, size) != 0) return false;
  return CharacterCursor(text).isBoundary(size);
}

icu::UnicodeString firstCharacters(const icu::UnicodeString& text, int32_t count) {
  // A character is at least one unit, so a text this short has not too many.
  const int32_t length = text.length();
  if (length <= count && !mayHoldLongCharacter(text)) return text;
  CharacterCursor cursor(text);
  icu::UnicodeString kept;
  int32_t copied = 0;  // units of `text` before this are in `kept`
  int32_t offset = 0;
  for (int32_t i = 0; i < count && offset < length; ++i) {
    const int32_t next = cursor.nextBoundary(offset);
    // No more units than the limit means no more code points either.
    if (next - offset > characterCodePointLimit) {
      const int32_t cut = text.moveIndex32(offset, characterCodePointLimit);
      if (cut < next) {
        kept.append(text, copied, cut - copied);
        copied = next;
      }
    }
    offset = next;
  }
  if (copied == 0) return offset == length ? text : icu::UnicodeString(text, 0, offset);
  return kept.append(text, copied, offset - copied);
}

bool isNumeric(UChar32 c) {
  if (c < 0x80) return c >= u'0' && c <= u'9';
  return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// Most skimmed text is ASCII; copying it directly is several times faster
// than the general conversion, which takes over at the first other unit.
std::string toUtf8(const icu::UnicodeString& text) {
  const char16_t* units = text.getBuffer();
  const int32_t length = units ? text.length() : 0;
  int32_t ascii = 0;
  while (ascii < length && units[ascii] < 0x80) ++ascii;
  std::string bytes(static_cast<std::size_t>(ascii), '\0');
  std::copy(units, units + ascii, bytes.begin());
  if (ascii < length) text.tempSubString(ascii).toUTF8String(bytes);
  return bytes;
}

icu::UnicodeString fromUtf8Repairing(std::string_view bytes) {
  icu::UnicodeString text;
  if (bytes.empty()) return text;
  // Each byte gives at most one UTF-16 unit, so this capacity always fits.
  const auto capacity = static_cast<int32_t>(bytes.size());
  char16_t* buffer = text.getBuffer(capacity);
  if (buffer == nullptr) return text;
  int32_t length = 0;
  int32_t substitutions = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(buffer, capacity, &length, bytes.data(), capacity, 0xFFFD, &substitutions,
                       &status);
  text.releaseBuffer(U_SUCCESS(status) ? length : 0);
  return text;
}

}  // namespace tamsel::detail
