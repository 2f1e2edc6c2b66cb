// SPDX-License-Identifier: MIT
#pragma once

#include <pango/pangofc-fontmap.h>

#include <functional>
#include <string>
#include <vector>

#include "render/handles.h"

namespace tamsel {

// Makes fontconfig's current configuration the one pages need, once per
// process; call it before the first Pango font map is made. Thread-safe.
//
// fontconfig's own start-up parses fonts.conf, every file in conf.d and then
// every file in its template directory, about as long as painting a whole
// page. Pages ask only for the generic families ("sans-serif", "serif",
// "monospace") and for "Menlo" when it is installed, so the configuration
// made here is fontconfig's own less the conf.d files, before the user's,
// that hold nothing but aliases for other named families: such an alias
// never meets a page's request, and every face, size, matrix and rendering
// option chosen is the same. When FONTCONFIG_FILE, FONTCONFIG_PATH or FONTCONFIG_SYSROOT is set,
// or this configuration finds no fonts, fontconfig's full configuration is
// loaded instead.
void setUpFontConfig();

// Makes setUpFontConfig leave fontconfig's own configuration in place, for
// code that draws pages inside another program's process: the page's
// configuration would become every font user's there, and other code may
// ask for the named families it leaves out. Pages look the same either way.
// Call it before the first page is drawn; later calls change nothing.
void keepSystemFontConfig();

// Loads on the calling thread what the text of a page `width` points wide,
// painted into an image (renderImage's PNG), needs: the configuration above,
// then the page's fonts and their metrics, title and body text first. Drawing
// that page on the same thread afterwards finds them loaded, so a caller can
// do this while it reads and skims the document on another thread; `enough`,
// asked before each font, ends the loading early, say once the skim is done
// and drawing can load just the fonts its page uses. A width that is not
// finite and positive loads only the configuration.
void preparePageFonts(double width, const std::function<bool()>& enough = {});

// Derives, once, the answers fontconfig's configuration gives the requests
// of pages, and keeps them in the user's cache, so that later processes set
// up fonts without parsing that configuration: `drawSamplePages`, run on a
// thread of its own, draws pages with every style at the sizes hosts ask
// for, and each request it makes is answered and kept. A request no kept
// answer covers is answered from the configuration as before. Kept answers
// hold for as long as the configuration files, the font folders and the
// settings they were derived under are unchanged. Does nothing when answers
// were found, the configuration is fontconfig's full one, or the cache
// cannot be written. Call before confining the process.
void keepFontAnswers(const std::function<void()>& drawSamplePages);

// Derives those answers for every user of the system, from the system's
// configuration alone, and keeps them with that configuration below the
// program's prefix (PREFIX/lib/tamsel-thumbnail), where processes that cannot
// read the configuration itself find them: those in GNOME's thumbnail
// sandbox, which shows /usr but not /etc. Answers kept there under another
// locale for the same configuration and fonts stay. Call once per process,
// before anything else sets up fonts, with no user's settings in the
// environment (HOME, XDG_*). An error message, or empty.
std::string keepSystemFontAnswers(const std::function<void()>& drawSamplePages);

// What every font map that lays out pages must edit requests with
// (pango_fc_font_map_set_default_substitute), or null.
PangoFcSubstituteFunc fontRequestEditor();

// The folders fontconfig reads for pages once setUpFontConfig has run: its
// font folders (with those below them) and cache folders, and with
// `configuration` its configuration files too. Some need not exist. Calls
// setUpFontConfig first.
std::vector<std::string> fontConfigPaths(bool configuration);

namespace detail {

// The configuration setUpFontConfig makes current, its fonts loaded; null
// when fontconfig's full configuration is to be used.
FcConfigHandle pageFontConfig();

}  // namespace detail
}  // namespace tamsel
