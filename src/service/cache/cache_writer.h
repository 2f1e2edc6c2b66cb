// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drawer/drawer_client.h"
#include "drawer/thumbnail_size.h"

namespace tamsel {

// One size a document is drawn at, and the cache directory it goes into.
struct CacheTarget {
  std::string directory;  // CACHE_HOME/thumbnails/FLAVOR
  Size maximum;
};

// What became of one document.
enum class CacheOutcome {
  made,           // drawn and written for every stale target
  fresh,          // every target already shows the file as it is
  failed,         // could not be read or drawn, and is recorded; `cause` says why
  unwritable,     // drawn but not written; `cause` says why
  failedEarlier,  // a fresh failure record says not to try again yet
};

struct CacheResult {
  CacheOutcome outcome;
  std::string cause;  // why it failed
};

// Brings the thumbnails of the document at the absolute `path`, known to its
// readers as `uri`, up to date in each of `targets` (whose directories must
// exist), as the thumbnail standard says: CACHE_HOME/thumbnails/FLAVOR/
// MD5(URI).png with Thumb::URI,
// Thumb::MTime, Thumb::Size, Thumb::Mimetype (`mimeType`) and Software, mode
// 0600, written whole through a temporary file and a rename. The document is
// opened here and handed to `drawer`, which reads and skims it once for all
// stale targets; the keys describe the file opened, so one replaced since
// the walk is drawn as it is now. A document that cannot be read or drawn,
// or whose drawer fails, is recorded under `failDirectory` (a 1 x 1 PNG with
// Thumb::URI and Thumb::MTime), and while that record matches the file it is
// not tried again unless `force`. Drawing removes an older failure record.
// Thread-safe with a drawer a thread; calls for one path at a time write one
// set of files at a time.
CacheResult writeDocumentThumbnails(DrawerClient& drawer, const std::string& path,
                                    const std::string& uri, std::string_view mimeType,
                                    const std::vector<CacheTarget>& targets,
                                    const std::string& failDirectory, bool force);

}  // namespace tamsel
