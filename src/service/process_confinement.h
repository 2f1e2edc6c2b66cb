// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/confinement.h"

namespace tamsel {

// What each front end may still reach once confined, handed to confine()
// once it has opened what it needs and started its drawers. A front end
// never reads a document's bytes (its drawers do), so it reads little or
// nothing itself.

// One page: OUTPUT alone, either the host's empty file, filled in place, or
// a name in a folder where a temporary file already made is renamed into
// place. Nothing is read.
Confinement thumbnailConfinement(const std::string& output, bool fillsInPlace);

// --skim: nothing on the file system at all.
Confinement skimConfinement();

// --cache: reading anything, to open the documents as the run reaches them
// (one an editor saved since the walk included); running the drawer program
// alone (and its ELF interpreter), to start new drawers; writing
// CACHE_HOME/thumbnails alone, which must exist.
Confinement cacheConfinement(const std::string& cacheHome, const std::string& drawerProgram);

}  // namespace tamsel
