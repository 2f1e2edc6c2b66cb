// SPDX-License-Identifier: MIT
// The plugin KIO's thumbnail worker loads: a factory for PageCreator, with
// metadata generated from the thumbnailer entry.
#include <KPluginFactory>

#include "kde/page_creator.h"

using tamsel::PageCreator;

K_PLUGIN_CLASS_WITH_JSON(PageCreator, "tamselthumbnail.json")

#include "plugin.moc"
