// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace tamsel {

// The MIME types the thumbnailer claims, in the order its thumbnailer entry
// lists them; the list is built from that entry (data/tamsel.thumbnailer.in),
// so the cache is filled for exactly the files a file manager hands to us.
// File managers pick a thumbnailer by exact MIME type.
std::span<const std::string_view> claimedMimeTypes();

// The claimed MIME type of a file called `fileName`, judged by its name alone
// (shared-mime-info's globs, as a file manager does when listing a folder), so
// no file is opened. nullopt when the name's type is not claimed or unknown.
// The view stays valid for the life of the process. Thread-safe.
std::optional<std::string_view> claimedTypeOf(std::string_view fileName);

}  // namespace tamsel
