// SPDX-License-Identifier: MIT
#pragma once

#include <fontconfig/fontconfig.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What fontconfig's configuration answered for a page's font requests, kept
// between processes, so that a process can draw a page without parsing the
// configuration's XML. Pure functions over patterns and file contents; the
// reading and writing of files is font_setup's.
namespace tamsel::font_answers {

// A pattern as text that gives it back exactly, value bindings included:
// one line a value. None for a value of a type this does not keep (a
// character set, say), or a binding other than strong or weak.
std::optional<std::string> serialized(const FcPattern* pattern);

// The pattern `serialized` made; null when `text` is not one.
FcPattern* deserialized(std::string_view text);

// Calls `visit` with every value of `pattern`, in order, until it answers
// false; whether it never did.
bool forEachValue(const FcPattern* pattern,
                  const std::function<bool(const char*, const FcValue&, FcValueBinding)>& visit);

// Appends `value` to `object`'s values with `binding`, strong or weak.
bool addValue(FcPattern* pattern, const char* object, const FcValue& value, FcValueBinding binding);

// Makes `target` hold exactly the values of `source`, in place.
void replaceContents(FcPattern* target, const FcPattern* source);

// The saved answers: the configuration that stands in for the system's,
// which leaves requests as they are, and the system's edit of each request
// seen. `signature` describes the files and settings they were derived
// from; `configFiles` are those to read should a request not be among them.
// Answers kept for every user of the system also hold the system's own
// configuration as one text (`pageConfiguration`), for processes that
// cannot read its files, and `fonts`, the fonts they were derived with.
struct Saved {
  std::string signature;
  std::vector<std::string> watched;
  std::vector<std::string> configFiles;
  std::string configuration;
  std::string pageConfiguration;
  std::string fonts;
  std::map<std::string, std::string> requests;
};

std::string encoded(const Saved& saved);
std::optional<Saved> decoded(std::string_view text);

// The state of `paths` and of the settings fontconfig reads from the
// environment, as one text: it differs once a file is added, removed or
// changed, or a setting is.
std::string signatureOf(const std::vector<std::string>& paths);

}  // namespace tamsel::font_answers
