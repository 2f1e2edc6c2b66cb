// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "drawer/drawer_protocol.h"
#include "platform/confinement.h"

namespace tamsel {

// The drawer: the one process that reads a document's bytes. It is handed
// an open descriptor, reads it, and answers with the finished image; it can
// read the fonts and nothing else, and write nothing at all.

// Makes the calling process a drawer for the rest of its life: its channel
// must be at drawerChannel. Points standard input, output and error at
// /dev/null (error stays in sanitizer builds, for their reports), closes
// every other descriptor, then confines itself: Landlock lets it read
// `readablePaths` alone (fontconfig's folders, or none for a drawer that
// only skims), the call filter is the drawing allowlist. Call it while the
// process has one thread.
void becomeDrawer(const std::vector<std::string>& readablePaths);

// Derives and keeps in the user's cache what fontconfig's configuration
// answers a page's font requests, unless kept answers hold (see
// keepFontAnswers): later drawers then skip parsing that configuration. Call
// before becomeDrawer, which leaves no cache writable.
void keepFontAnswersForPages();

// The same for every user of the system, kept below the program's prefix
// for processes that cannot read the system's font configuration (see
// keepSystemFontAnswers). An error message, or empty.
std::string keepSystemFontAnswersForPages();

// What becomeDrawer confines the process to, descriptors aside.
Confinement drawerConfinement(const std::vector<std::string>& readablePaths);

// Answers requests on drawerChannel, one after another, until the host
// closes it: 0 then, 1 when the host broke the protocol or went away
// mid-answer.
int serveDrawer();

// Reads the regular file open at `document` from its start (its first
// decodeByteLimit bytes) and makes what `request` asks for. Never throws.
DrawReply drawDocument(int document, const DrawRequest& request);

}  // namespace tamsel
