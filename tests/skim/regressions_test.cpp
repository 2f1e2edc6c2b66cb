// Faults found in the skimmer's rules, each test named after the fault.
#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <string>

#include "skim/skim.h"

namespace tamsel {
namespace {

using namespace std::string_literals;

// Strict UTF-16 failed when the 64 KiB cut split a surrogate pair (or left
// an odd byte), and the UTF-8 fallback turned the whole document into NULs
// and replacement characters.
TEST(Regression, Utf16CutInsideASurrogatePairFellBackToUtf8) {
  std::string bytes = "\xFF\xFE#\0 \0T\0i\0t\0l\0e\0\n\0"s;
  while (bytes.size() < decodeByteLimit - 2) bytes += "a\0"s;
  bytes += "\x3D\xD8\x00\xDE"s;
  const icu::UnicodeString text = decodeText(bytes);
  // Everything but the BOM and the half pair.
  EXPECT_EQ(text.length(), static_cast<int32_t>((decodeByteLimit - 2) / 2 - 1));
  EXPECT_EQ(text.indexOf(u'\uFFFD'), -1);
  EXPECT_EQ(skim(bytes, "big.md").title, "Title");
  EXPECT_EQ(skim(bytes + "x", "odd.md").title, "Title");
}

// Linux file names are bytes; a Latin-1 name gave a title that was not
// UTF-8, which the renderer and the JSON output cannot take.
TEST(Regression, FileNameInLatin1GaveAnInvalidTitle) {
  const std::string title = skim("", "r\xE9sum\xE9.md").title;
  EXPECT_EQ(title, "r\uFFFDsum\uFFFD");
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(nullptr, 0, nullptr, title.data(), static_cast<int32_t>(title.size()), &status);
  EXPECT_NE(status, U_INVALID_CHAR_FOUND);
}

// Removing the last extension of "..." left "..", and of "..md" left ".":
// a title of dots that names nothing.
TEST(Regression, NameOfDotsLostItsLastDot) {
  EXPECT_EQ(skim("", "...").title, "...");
  EXPECT_EQ(skim("", "..md").title, "..md");
}

}  // namespace
}  // namespace tamsel
