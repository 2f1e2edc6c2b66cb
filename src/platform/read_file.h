// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

namespace tamsel {

// Appends what `fd` holds from its current position to `bytes`, until
// `bytes` is `limit` bytes long or the file ends, retrying reads that a
// signal interrupted. Returns 0, or the errno of a read that failed; what was
// read before the failure stays in `bytes`. Cost and memory are bounded by
// `limit` whatever the file's size. Plain reads rather than a mapping: a
// mapped file that someone else truncates turns the next access into SIGBUS.
int readUpTo(int fd, std::string& bytes, std::size_t limit);

}  // namespace tamsel
