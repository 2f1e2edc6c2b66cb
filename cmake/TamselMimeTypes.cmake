# SPDX-License-Identifier: MIT
# The thumbnailer entry's MimeType line is the one list of claimed types;
# everything else that names them (the cache's document filter, the KDE
# plugin's metadata) is generated from it.

# tamsel_claimed_mime_types(OUT): OUT becomes the entry's types as a CMake
# list, and the calling directory reconfigures when the entry changes.
function(tamsel_claimed_mime_types out)
  set(_entry ${PROJECT_SOURCE_DIR}/data/tamsel.thumbnailer.in)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_entry})
  file(STRINGS ${_entry} _mimeLine REGEX "^MimeType=")
  if(NOT _mimeLine)
    message(FATAL_ERROR "${_entry} has no MimeType line")
  endif()
  string(REGEX REPLACE "^MimeType=" "" _mimeTypes "${_mimeLine}")
  # file(STRINGS) escapes the line's semicolons as list separators.
  string(REPLACE "\\;" ";" _mimeTypes "${_mimeTypes}")
  list(FILTER _mimeTypes EXCLUDE REGEX "^$")
  set(${out} ${_mimeTypes} PARENT_SCOPE)
endfunction()
