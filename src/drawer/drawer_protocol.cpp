// SPDX-License-Identifier: MIT
#include "drawer/drawer_protocol.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace tamsel {
namespace {

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  template <typename T>
  void number(T value) {
    // Little-endian on the wire: both ends are one machine, but the form
    // should not depend on it.
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      out_ += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
    }
  }
  void real(double value) { number(std::bit_cast<std::uint64_t>(value)); }
  void text(std::string_view value) {
    number(static_cast<std::uint32_t>(value.size()));
    out_ += value;
  }
  void bytes(std::string_view value) {
    number(static_cast<std::uint64_t>(value.size()));
    out_ += value;
  }

 private:
  std::string& out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  template <typename T>
  T number() {
    if (in_.size() < sizeof(T)) return fail<T>();
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in_[i])) << (8 * i);
    }
    in_.remove_prefix(sizeof(T));
    return static_cast<T>(value);
  }
  double real() { return std::bit_cast<double>(number<std::uint64_t>()); }
  std::string text() { return take(number<std::uint32_t>()); }
  std::string bytes() { return take(number<std::uint64_t>()); }
  // Every field read, and nothing left over.
  bool done() const { return ok_ && in_.empty(); }
  bool ok() const { return ok_; }

 private:
  template <typename T>
  T fail() {
    ok_ = false;
    in_ = {};
    return T{};
  }
  std::string take(std::uint64_t size) {
    if (in_.size() < size) return fail<std::string>();
    std::string value(in_.substr(0, size));
    in_.remove_prefix(size);
    return value;
  }

  std::string_view in_;
  bool ok_ = true;
};

std::string framed(const std::string& body) {
  std::string frame;
  Writer(frame).number(static_cast<std::uint64_t>(body.size()));
  return frame + body;
}

// Waits for the channel to have bytes, or to close, until `deadline`.
bool readable(int channel, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{.fd = channel, .events = POLLIN, .revents = 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the read that follows says what is wrong
  }
}

}  // namespace

std::string encodeRequest(const DrawRequest& request) {
  std::string body;
  Writer out(body);
  out.number(static_cast<std::uint8_t>(request.format));
  out.text(request.fileName);
  out.number(static_cast<std::uint32_t>(request.pages.size()));
  for (const PageSize& page : request.pages) {
    for (const double side :
         {page.maximum.width, page.maximum.height, page.minimum.width, page.minimum.height}) {
      out.real(side);
    }
  }
  out.number(static_cast<std::uint32_t>(request.pngText.size()));
  for (const auto& [key, value] : request.pngText) {
    out.text(key);
    out.text(value);
  }
  return framed(body);
}

std::optional<DrawRequest> decodeRequest(std::string_view bytes) {
  Reader in(bytes);
  DrawRequest request;
  const auto format = in.number<std::uint8_t>();
  if (format > static_cast<std::uint8_t>(DrawnFormat::skimJson)) return std::nullopt;
  request.format = static_cast<DrawnFormat>(format);
  request.fileName = in.text();
  const auto pages = in.number<std::uint32_t>();
  if (pages > maxRequestPages) return std::nullopt;
  for (std::uint32_t i = 0; i < pages && in.ok(); ++i) {
    PageSize page;
    page.maximum.width = in.real();
    page.maximum.height = in.real();
    page.minimum.width = in.real();
    page.minimum.height = in.real();
    request.pages.push_back(page);
  }
  const auto texts = in.number<std::uint32_t>();
  for (std::uint32_t i = 0; i < texts && in.ok(); ++i) {
    std::string key = in.text();
    request.pngText.emplace_back(std::move(key), in.text());
  }
  if (!in.done()) return std::nullopt;
  return request;
}

std::string encodeReply(const DrawReply& reply) {
  std::string body;
  Writer out(body);
  out.number(static_cast<std::uint8_t>(reply.failure));
  out.number(static_cast<std::uint32_t>(reply.error));
  out.text(reply.message);
  out.number(static_cast<std::uint32_t>(reply.images.size()));
  for (const DrawnImage& image : reply.images) {
    out.number(image.width);
    out.number(image.height);
    out.bytes(image.bytes);
  }
  return framed(body);
}

std::optional<DrawReply> decodeReply(std::string_view bytes) {
  Reader in(bytes);
  DrawReply reply;
  const auto failure = in.number<std::uint8_t>();
  if (failure > static_cast<std::uint8_t>(DrawFailure::drawer)) return std::nullopt;
  reply.failure = static_cast<DrawFailure>(failure);
  reply.error = static_cast<int>(in.number<std::uint32_t>());
  reply.message = in.text();
  const auto images = in.number<std::uint32_t>();
  if (images > maxRequestPages + 1) return std::nullopt;
  for (std::uint32_t i = 0; i < images && in.ok(); ++i) {
    DrawnImage image;
    image.width = in.number<std::uint32_t>();
    image.height = in.number<std::uint32_t>();
    image.bytes = in.bytes();
    reply.images.push_back(std::move(image));
  }
  if (!in.done()) return std::nullopt;
  return reply;
}

bool sendMessage(int channel, std::string_view body, int descriptor) {
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  while (!body.empty()) {
    iovec part{.iov_base = const_cast<char*>(body.data()), .iov_len = body.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (descriptor >= 0) {
      // With the first bytes only, so that it arrives with them.
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &descriptor, sizeof(int));
    }
    const ssize_t sent = ::sendmsg(channel, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    descriptor = -1;
    body.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

Message receiveMessage(int channel, std::size_t limit,
                       std::chrono::steady_clock::time_point deadline) {
  Message result;
  std::string header;
  std::uint64_t size = 0;
  bool sized = false;
  std::string& body = result.body;
  char buffer[65536];
  for (;;) {
    const std::size_t wanted =
        sized ? std::min<std::uint64_t>(sizeof buffer, size - body.size()) : 8 - header.size();
    if (sized && wanted == 0) break;
    iovec part{.iov_base = buffer, .iov_len = wanted};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // What is there already is taken without waiting; only then is there
    // a deadline to wait against.
    const bool waits = deadline == std::chrono::steady_clock::time_point::max();
    const ssize_t got = ::recvmsg(channel, &message, MSG_CMSG_CLOEXEC | (waits ? 0 : MSG_DONTWAIT));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !waits) {
      if (!readable(channel, deadline)) {
        result.status = Message::Status::timedOut;
        return result;
      }
      continue;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
        UniqueFd received(fd);
        if (!result.descriptor) result.descriptor = std::move(received);
      }
    }
    if (got <= 0) {
      const bool clean = got == 0 && header.empty();
      result.status = clean ? Message::Status::closed : Message::Status::invalid;
      return result;
    }
    const auto count = static_cast<std::size_t>(got);
    if (sized) {
      body.append(buffer, count);
      continue;
    }
    header.append(buffer, count);
    if (header.size() < 8) continue;
    Reader in(header);
    size = in.number<std::uint64_t>();
    if (size > limit) return result;
    sized = true;
  }
  result.status = Message::Status::received;
  return result;
}

}  // namespace tamsel
