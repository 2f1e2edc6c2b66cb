// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

// The PNG container's fixed layout, for the writer and for the cache's
// reader of text chunks.
namespace tamsel::png {

constexpr std::string_view signature{"\x89PNG\r\n\x1a\n", 8};
// Every chunk: a 4-byte big-endian length, a 4-byte type, the data, a CRC.
constexpr std::size_t chunkLengthSize = 4;
constexpr std::size_t chunkTypeSize = 4;
constexpr std::size_t chunkHeaderSize = chunkLengthSize + chunkTypeSize;
constexpr std::size_t chunkCrcSize = 4;
constexpr std::size_t chunkOverhead = chunkHeaderSize + chunkCrcSize;
// The format caps a chunk's data at 2^31 - 1 bytes.
constexpr std::size_t chunkLengthLimit = 0x7fffffff;

}  // namespace tamsel::png
