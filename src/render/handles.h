// SPDX-License-Identifier: MIT
#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <glib-object.h>
#include <libdeflate.h>
#include <pango/pango.h>

#include "platform/handle.h"

// Owning handles for every C object the renderer makes (platform/handle.h
// has the template).
namespace tamsel::detail {

inline void releaseGObject(void* object) {
  g_object_unref(object);
}

template <typename T>
void unrefGObject(T* object) {
  releaseGObject(object);
}

using CairoHandle = Handle<cairo_t, cairo_destroy>;
using CairoSurfaceHandle = Handle<cairo_surface_t, cairo_surface_destroy>;
using CairoPatternHandle = Handle<cairo_pattern_t, cairo_pattern_destroy>;
using CairoFontOptionsHandle = Handle<cairo_font_options_t, cairo_font_options_destroy>;

using PangoFontMapHandle = Handle<PangoFontMap, unrefGObject<PangoFontMap>>;
using PangoContextHandle = Handle<PangoContext, unrefGObject<PangoContext>>;
using PangoLayoutHandle = Handle<PangoLayout, unrefGObject<PangoLayout>>;
using PangoFontDescriptionHandle = Handle<PangoFontDescription, pango_font_description_free>;
using PangoAttrListHandle = Handle<PangoAttrList, pango_attr_list_unref>;
using PangoLayoutIterHandle = Handle<PangoLayoutIter, pango_layout_iter_free>;

using DeflateCompressorHandle = Handle<libdeflate_compressor, libdeflate_free_compressor>;

using FcConfigHandle = Handle<FcConfig, FcConfigDestroy>;
using FcPatternHandle = Handle<FcPattern, FcPatternDestroy>;
using FcObjectSetHandle = Handle<FcObjectSet, FcObjectSetDestroy>;
using FcFontSetHandle = Handle<FcFontSet, FcFontSetDestroy>;

}  // namespace tamsel::detail
