// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/confinement.h"
#include "service/cache/document_walk.h"

namespace tamsel {

// What each way of running may still reach once confined: built after its
// set-up, before the first byte of a document is looked at, and handed to
// confine(). Those that draw also set up fontconfig, which must be loaded
// before the process confines itself for its folders to be known.

// One page: INPUT; the fonts; and OUTPUT, which is either the host's empty
// file, filled in place, or a name in a folder where a temporary file
// already made is renamed into place.
Confinement thumbnailConfinement(const std::string& input, const std::string& output,
                                 bool fillsInPlace);

// --skim: INPUT alone.
Confinement skimConfinement(const std::string& input);

// --cache: each document found, the fonts, and CACHE_HOME/thumbnails, which
// must exist.
Confinement cacheConfinement(const DocumentList& documents, const std::string& cacheHome);

// The resident service: any document a host names, and CACHE_HOME/thumbnails,
// which must exist; the session bus stays open.
Confinement residentConfinement(const std::string& cacheHome);

}  // namespace tamsel
