// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drawer/thumbnail_size.h"
#include "platform/unique_fd.h"

namespace tamsel {

// What a drawer makes of a document.
enum class DrawnFormat : std::uint8_t {
  png,
  svg,
  pdf,
  pixels,    // premultiplied ARGB32 in native byte order, rows width * 4 bytes apart
  skimJson,  // the skim as skimToJson writes it, and no image
};

// One page to draw: thumbnailSize settles its size.
struct PageSize {
  Size maximum;
  Size minimum;
};

// One document to draw; its descriptor travels beside the request.
struct DrawRequest {
  DrawnFormat format = DrawnFormat::png;
  std::string fileName;         // the document's name, extension kept: the fallback title
  std::vector<PageSize> pages;  // one image each, all from one skim; none for skimJson
  std::vector<std::pair<std::string, std::string>> pngText;  // tEXt chunks of each PNG
};

struct DrawnImage {
  std::uint32_t width = 0;  // pixels, points for SVG and PDF
  std::uint32_t height = 0;
  std::string bytes;
};

// Why a document was not drawn.
enum class DrawFailure : std::uint8_t {
  none,
  read,    // the document could not be read; `error` is the errno
  draw,    // a page could not be drawn (its size, or memory)
  drawer,  // the drawer failed: it crashed, broke the protocol or ran out of time
};

struct DrawReply {
  DrawFailure failure = DrawFailure::none;
  int error = 0;
  std::string message;             // for DrawFailure::drawer: what became of the drawer
  std::vector<DrawnImage> images;  // one a page; for skimJson, the JSON alone
};

// Limits a request must keep; the drawer refuses anything larger.
constexpr std::size_t maxRequestBytes = 1 << 20;
constexpr std::size_t maxRequestPages = 16;
// A reply can hold a page of pixels 16,384 points a side.
constexpr std::size_t maxReplyBytes = std::size_t{1} << 31;

// The wire form: a 64-bit length, then the fields in order, each number
// little-endian, each text a 32-bit length and its bytes.
std::string encodeRequest(const DrawRequest& request);
std::optional<DrawRequest> decodeRequest(std::string_view bytes);
std::string encodeReply(const DrawReply& reply);
std::optional<DrawReply> decodeReply(std::string_view bytes);

// Sends one framed message, with `descriptor` beside it when it is not -1.
// False when the peer is gone; never raises SIGPIPE.
bool sendMessage(int channel, std::string_view body, int descriptor = -1);

// Receives one framed message of at most `limit` bytes and the descriptor
// that came with it, if any, waiting until `deadline` at most. A descriptor
// beyond the first is closed. Memory grows with what arrives, not with what
// the length claims.
struct Message {
  enum class Status { received, closed, timedOut, invalid };
  Status status = Status::invalid;
  std::string body;
  UniqueFd descriptor;
};
Message receiveMessage(
    int channel, std::size_t limit,
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

}  // namespace tamsel
