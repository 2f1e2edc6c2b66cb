// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace tamsel {

// Where hosts find the resident thumbnailer on the session bus. Its object
// implements org.freedesktop.thumbnails.SpecializedThumbnailer1 as tumblerd
// calls it:
//   Queue(s uri, s mime_type, s flavor, b urgent) -> (u handle)
//   Dequeue(u handle)
//   signals Ready(u handle, s uri), Error(u handle, s uri, i code, s message),
//   Finished(u handle)
// Every handle Queue returns gets exactly one Ready or Error, then Finished
// (a dequeued one only Finished), all after Queue's reply.
constexpr std::string_view residentBusName = "org.tamsel.Thumbnailer1";
constexpr std::string_view residentObjectPath = "/org/tamsel/Thumbnailer1";

struct ResidentOptions {
  // How long the service stays without work before it leaves; the bus starts
  // it again for the next request. Zero keeps it running.
  std::chrono::seconds idleTimeout{30};
  // Drawing threads; 0 means one per processor, up to maxResidentWorkers.
  unsigned workers = 0;
  // Documents waiting to be drawn at most; more are refused with a D-Bus
  // error, so the host turns to its next thumbnailer.
  std::size_t queueLimit = 1024;
};

// Beyond this, threads only compete for the same cores and font caches.
constexpr unsigned maxResidentWorkers = 8;

// Owns residentBusName on the session bus and serves requests until idle for
// options.idleTimeout, or until the name is lost. Each request is written to
// the shared thumbnail cache exactly as `--cache` writes it (writeDocument-
// Thumbnails), one flavor per request, with failures recorded under
// failDirectory. Returns the exit status: 0 after an idle exit, 1 when the
// bus or the name could not be had.
int runResidentService(const ResidentOptions& options);

}  // namespace tamsel
