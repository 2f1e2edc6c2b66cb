// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

#include "skim/blocks.h"
#include "skim/decode.h"
#include "skim/inline.h"
#include "skim/markdown_skim.h"

namespace tamsel {

// The skim of a document: its first `decodeByteLimit` bytes decoded, front
// matter removed, then title and blocks picked within the fixed limits.
// `bytes` may be anything, empty included (an unreadable file). `fileName`
// is the last path component, any bytes; without its last extension it is
// the title when the text offers none. Pure and thread-safe; never fails.
//
//   skim("# Hello\nWorld\n", "notes.md")  // title "Hello", one body "World"
MarkdownSkim skim(std::string_view bytes, std::string_view fileName);

}  // namespace tamsel
