// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading fontconfig's configuration files as text, enough to tell which of
// them a page's font requests can meet. Pure functions over file contents;
// the reading of files and directories is font_setup's.
namespace tamsel::fontconfig_xml {

// The number that orders a conf.d file, as fontconfig loads those named
// [0-9]*.conf in byte order: 45 for "45-latin.conf"; none for other names.
std::optional<int> confFileNumber(std::string_view name);

// Whether a conf.d file holds nothing but <alias> elements whose own
// families (those before the lists they edit) are none of the families a
// page asks for. Such a file cannot act on a page's request until another
// file adds one of its families. Any other element, or text that only looks
// like one (a comment holding "<match>"), answers false.
bool onlyOtherFamilyAliases(std::string_view conf);

// The element of fonts.conf that loads the conf.d directory, as
// `<include ...>conf.d</include>`: its byte range and target. None when
// there is no such element, or when paths are relative to the file's own
// directory (prefix="relative"), which a copy parsed from memory lacks.
struct ConfDirInclude {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string target;
};
std::optional<ConfDirInclude> findConfDirInclude(std::string_view fontsConf);

// The elements of a configuration file that act on fonts once chosen, or on
// which fonts there are, without those that edit a request: every element
// below the root but <alias>, <match> aimed at requests (no target, or
// target "pattern"), <include> and <description>, each as written, in order.
// None when the text is not a plain <fontconfig> document as this reads
// one (CDATA, an unclosed element), or names a path relative to its own
// file, which a copy parsed from memory lacks.
std::optional<std::string> withoutRequestEdits(std::string_view conf);

// Every element below the root of a configuration file but <include> and
// <description>, each as written, in order: what the file itself says, for
// a copy that must not depend on other files. None as for
// withoutRequestEdits.
std::optional<std::string> withoutIncludes(std::string_view conf);

// The paths a configuration file's <dir>, <cachedir> and <include> elements
// name, as written: "xdg:" before one with prefix="xdg".
std::vector<std::string> namedPaths(std::string_view conf);

// `text` with &, < and > escaped, for use as element content.
std::string escaped(std::string_view text);

}  // namespace tamsel::fontconfig_xml
