// SPDX-License-Identifier: MIT
#pragma once

#include <unicode/unistr.h>

#include <cstddef>
#include <string_view>

// First phase of skimming: bytes to text, then the front matter removed.
namespace tamsel {

// Bytes of a document that are decoded; the rest is never looked at. It
// bounds all later work, whatever the file's size.
constexpr std::size_t decodeByteLimit = 65536;

// Strict UTF-8 retries after dropping the last byte, at most this often, so
// a character cut by `decodeByteLimit` costs that character only.
constexpr int decodeShortenAttempts = 3;

// The first `decodeByteLimit` bytes of `bytes` as text. Never fails; tried
// in order, the first that succeeds wins:
//   1. strict UTF-8 (a NUL byte is an ordinary character);
//   2. UTF-16 when the bytes begin FF FE (little-endian) or FE FF
//      (big-endian), without those two bytes. A trailing odd byte or a
//      trailing lead surrogate, as left by the byte limit, is dropped; any
//      other unpaired surrogate fails this step;
//   3. strict UTF-8 of the bytes without their last 1, 2, then 3 bytes;
//   4. UTF-8 with each maximal ill-formed subpart replaced by U+FFFD.
// One leading U+FEFF is then removed (a UTF-8 byte-order mark included).
icu::UnicodeString decodeText(std::string_view bytes);

// `text` without a leading front-matter block: a line "---" (trailing
// spaces and tabs allowed) at offset 0, as little as possible, then a line
// break, a second such line, and its line break or the end of the text.
// Everything after the block is kept as it is; `text` is returned unchanged
// when no block starts at offset 0 or it is never closed.
icu::UnicodeString stripFrontMatter(const icu::UnicodeString& text);

}  // namespace tamsel
