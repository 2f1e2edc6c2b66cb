// SPDX-License-Identifier: MIT
#include "service/process_confinement.h"

#include <string>
#include <utility>

#include "platform/replacement_file.h"
#include "render/font_setup.h"
#include "service/cache/thumbnail_file.h"

namespace tamsel {
namespace {

using Access = Confinement::Access;

// fontconfig reads its configuration again only once its rescan interval
// (30 s unless configured) has passed, so only a long run needs it, and a
// page is spared the cost of a rule for each of its thirty-odd files.
Confinement withFonts(Confinement confinement, bool longRun) {
  for (std::string& path : fontConfigPaths(longRun)) {
    confinement.paths.push_back({std::move(path), Access::read});
  }
  return confinement;
}

}  // namespace

Confinement thumbnailConfinement(const std::string& input, const std::string& output,
                                 bool fillsInPlace) {
  Confinement confinement{.paths = {{input, Access::read}}};
  confinement.paths.push_back(
      fillsInPlace ? Confinement::Path{output, Access::fill}
                   : Confinement::Path{replacementDirectory(output), Access::replaceIn});
  return withFonts(std::move(confinement), false);
}

Confinement skimConfinement(const std::string& input) {
  return {.paths = {{input, Access::read}}};
}

Confinement cacheConfinement(const DocumentList& documents, const std::string& cacheHome) {
  // Each document rather than the folders named: a link among them may lead
  // anywhere, and a file named alone must not open its whole folder.
  Confinement confinement{.paths = {{thumbnailsRoot(cacheHome), Access::cache}}};
  confinement.paths.reserve(documents.documents.size() + 1);
  for (const CacheDocument& document : documents.documents) {
    confinement.paths.push_back({documents.pathOf(document), Access::read});
  }
  return withFonts(std::move(confinement), true);
}

Confinement residentConfinement(const std::string& cacheHome) {
  // Hosts ask for whatever folder the user browses, known only as requests
  // come in: reading stays open everywhere, fonts included, and writing is
  // the cache's alone.
  return {.paths = {{"/", Access::read}, {thumbnailsRoot(cacheHome), Access::cache}},
          .keepsOpenSockets = true};
}

}  // namespace tamsel
