// SPDX-License-Identifier: MIT
#pragma once

#include <glib.h>

#include <memory>

// Owning handles for C objects: each is released exactly once, by the
// deleter its library prescribes. The renderer's are in render/handles.h.
namespace tamsel::detail {

template <typename T, void (*release)(T*)>
struct Releaser {
  void operator()(T* handle) const {
    if (handle) release(handle);
  }
};

template <typename T, void (*release)(T*)>
using Handle = std::unique_ptr<T, Releaser<T, release>>;

inline void freeGChars(char* text) {
  g_free(text);
}

// A string GLib allocated, such as g_filename_from_uri's.
using GCharsHandle = Handle<char, freeGChars>;

}  // namespace tamsel::detail
