// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <chrono>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "drawer/drawer_protocol.h"
#include "platform/unique_fd.h"

namespace tamsel {

// How long a drawer may take over one document before it is stopped: far
// beyond any page (milliseconds), short enough that a stalled network mount
// or a hostile document costs one document, not the host.
constexpr std::chrono::seconds defaultDrawDeadline{10};

// The host's end of a drawer: starts one when first needed, hands it
// documents one at a time, and starts a new one after it died, broke the
// protocol or passed its deadline (it is killed then). The drawer's faults
// stay with the document it was drawing. A drawer is killed when the thread
// that started it ends, so that none outlives its host. Not thread-safe:
// one client a thread.
class DrawerClient {
 public:
  // A drawer forked from this process, without running another program: the
  // cheapest start for a host that draws one document. With `fonts`, the
  // drawer sets up the page's fonts before it confines itself and may read
  // their folders; without, it only skims and may read nothing. Start it
  // while the process has one thread.
  static DrawerClient forked(bool fonts);

  // A drawer started as the program at `path` (see drawerProgramPath), its
  // channel at drawerChannel; it inherits the environment. Fit for hosts
  // with threads of their own.
  static DrawerClient program(std::string path);

  DrawerClient(DrawerClient&& other) noexcept;
  DrawerClient& operator=(DrawerClient&& other) noexcept;
  DrawerClient(const DrawerClient&) = delete;
  DrawerClient& operator=(const DrawerClient&) = delete;
  // Closes the channel, which ends the drawer, and reaps it.
  ~DrawerClient();

  // Closes the channel without waiting for the drawer to leave, which it
  // does on its own: for a host about to exit, which need not pay for the
  // drawer's end.
  void letGo();

  // Closes the channel and waits a moment for the drawer to leave, killing
  // it after that; what the destructor does, for a host that leaves through
  // _exit.
  void finish() { stop(false); }

  // Starts the drawer now unless it runs; 0, or the errno that stopped it.
  int start();

  // Draws the regular file open at `document` as `request` asks. A drawer
  // that cannot be started, crashes, answers nonsense or is still at work
  // after `deadline` gives DrawFailure::drawer with a message saying so ("the
  // drawer exited with status 3", "the drawer was stopped by signal 11
  // (Segmentation fault)", "the drawer took longer than 10 s"); the next call
  // starts a new one. A reply holds one image a page (the JSON alone for
  // skimJson); a page of pixels holds exactly width * height * 4 bytes.
  DrawReply draw(int document, const DrawRequest& request,
                 std::chrono::milliseconds deadline = defaultDrawDeadline);

 private:
  DrawerClient() = default;
  // Ends the drawer: waits a moment for one already leaving, then kills it.
  // What became of it, in words.
  std::string stop(bool kill);

  // The forked drawer's life, set by forked() in a file of its own, so that
  // hosts that only run the program do not link the drawing code.
  void (*runForked_)(bool fonts) = nullptr;
  bool fonts_ = false;
  std::string program_;
  UniqueFd channel_;
  pid_t pid_ = -1;
};

// Drawers for a host that draws from several threads at once: one a call
// in flight, each started when first needed and kept for the calls after.
// Thread-safe.
class DrawerPool {
 public:
  explicit DrawerPool(std::string program) : program_(std::move(program)) {}
  const std::string& program() const { return program_; }
  DrawReply draw(int document, const DrawRequest& request,
                 std::chrono::milliseconds deadline = defaultDrawDeadline);

 private:
  std::string program_;
  std::mutex mutex_;
  std::vector<DrawerClient> idle_;
};

// The drawer program this executable runs: the one beside it (a build
// tree), else the installed one, found from this executable's own folder
// so that any installation prefix works.
std::string drawerProgramPath();

// The drawer program a plugin runs, found from the folder of the shared
// object holding `address` (any function of the plugin's), links resolved:
// the first of `folders` (relative to that folder) that holds one, else the
// first.
std::string drawerProgramNear(const void* address, std::initializer_list<const char*> folders);

}  // namespace tamsel
