// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "service/cache/cache_options.h"
#include "service/cache/cache_progress.h"
#include "service/cache/document_walk.h"

namespace tamsel {

// Fills the shared thumbnail cache for every document under options.paths
// (see findDocuments), on options.jobs worker threads. Each document gets
// CACHE_HOME/thumbnails/FLAVOR/MD5(URI).png for each of options.flavors: the
// page the single-file thumbnailer draws for a square maximum of the
// flavor's size, with the Thumb::URI, Thumb::MTime, Thumb::Size,
// Thumb::Mimetype and Software text keys, written whole (temporary file, then
// rename) with mode 0600. The document is read and skimmed once for all its
// flavors. A thumbnail whose URI and modification time still match the file
// is fresh and is left alone; a document fresh in every flavor counts as
// fresh, one drawn in any as made.
//
// A document that cannot be read (see readDocumentHead) or drawn fails, and
// the failure is recorded under failDirectory(CACHE_HOME) as the thumbnail
// standard asks (a 1 x 1 PNG with Thumb::URI and Thumb::MTime, mode 0600); as
// long as that record matches the file's URI and modification time, later
// runs skip the document and count it as failed earlier. options.force draws
// every document again, fresh or failed earlier. A path that does not exist,
// a directory that cannot be read and a thumbnail that cannot be written are
// failures too, not recorded. Each failure is reported to `reporter` and the
// run goes on. Documents share nothing but the work index and the counters.
//
// `beforeDrawing`, when given, is called once the documents are found and
// the flavors' directories made, before any document is read, while the
// calling thread is the only one: the documents and CACHE_HOME.
using BeforeDrawing =
    std::function<void(const DocumentList& documents, const std::string& cacheHome)>;
CacheCounts buildCache(const CacheOptions& options, CacheReporter& reporter,
                       const BeforeDrawing& beforeDrawing = {});

// CACHE_HOME/thumbnails/fail/tamsel-thumbnail-VERSION, where this program
// records the documents it failed on.
std::string failDirectory(const std::string& cacheHome);

// The `--cache` command: runs buildCache, reporting to `errors`, with a
// progress line when `showProgress`. Returns the exit status: 1 if anything
// failed in this run, else 0 (documents failed earlier are not failures
// again).
int runCache(const CacheOptions& options, std::ostream& errors, bool showProgress,
             const BeforeDrawing& beforeDrawing = {});

}  // namespace tamsel
