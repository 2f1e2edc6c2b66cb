// SPDX-License-Identifier: MIT
#include "drawer/drawer_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "platform/confinement.h"
#include "platform/program_folder.h"

namespace tamsel {
namespace {

using Clock = std::chrono::steady_clock;

// A drawer that closed its channel is on its way out; one that does not
// leave within this is killed.
constexpr auto leavingTime = std::chrono::seconds(1);

DrawReply drawerFailure(std::string message) {
  return {.failure = DrawFailure::drawer, .error = 0, .message = std::move(message), .images = {}};
}

std::string describeEnd(int status) {
  if (WIFEXITED(status)) {
    return "the drawer exited with status " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    return "the drawer was stopped by signal " + std::to_string(signal) + " (" +
           ::strsignal(signal) + ")";
  }
  return "the drawer stopped";
}

std::string seconds(std::chrono::milliseconds span) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(span.count()) / 1000);
  return text;
}

// Puts `end` at drawerChannel in a child, open across exec.
void placeChannel(int end) {
  if (end == drawerChannel) {
    ::fcntl(end, F_SETFD, 0);
  } else {
    ::dup2(end, drawerChannel);
  }
}

bool plausible(const DrawReply& reply, const DrawRequest& request) {
  if (reply.failure != DrawFailure::none) return reply.images.empty();
  const std::size_t expected = request.format == DrawnFormat::skimJson ? 1 : request.pages.size();
  if (reply.images.size() != expected) return false;
  // Hosts copy pixels row by row: a page holds exactly what its sides say.
  return request.format != DrawnFormat::pixels ||
         std::all_of(reply.images.begin(), reply.images.end(), [](const DrawnImage& page) {
           return page.width > 0 && page.height > 0 &&
                  page.bytes.size() == std::size_t{page.width} * page.height * 4;
         });
}

// The first of `folders`, relative to `folder` (which ends in "/"), that
// holds the drawer program, else the first.
std::string drawerProgramIn(const std::string& folder, std::initializer_list<const char*> folders) {
  std::string first;
  for (const char* relative : folders) {
    const std::string candidate = folder + relative + "/tamsel-drawer";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (first.empty()) first = candidate;
  }
  return first;
}

}  // namespace

DrawerClient DrawerClient::program(std::string path) {
  DrawerClient client;
  client.program_ = std::move(path);
  return client;
}

DrawerClient::DrawerClient(DrawerClient&& other) noexcept
    : runForked_(other.runForked_),
      fonts_(other.fonts_),
      program_(std::move(other.program_)),
      channel_(std::move(other.channel_)),
      pid_(std::exchange(other.pid_, -1)) {}

DrawerClient& DrawerClient::operator=(DrawerClient&& other) noexcept {
  if (this != &other) {
    stop(false);
    runForked_ = other.runForked_;
    fonts_ = other.fonts_;
    program_ = std::move(other.program_);
    channel_ = std::move(other.channel_);
    pid_ = std::exchange(other.pid_, -1);
  }
  return *this;
}

DrawerClient::~DrawerClient() {
  stop(false);
}

int DrawerClient::start() {
  if (channel_) return 0;
  if (!runForked_ && ::access(program_.c_str(), X_OK) != 0) return errno;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return errno;
  UniqueFd ours(ends[0]);
  UniqueFd theirs(ends[1]);
  const char* program = program_.c_str();
  const pid_t host = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return errno;
  if (pid == 0) {
    // A drawer outlives no host, even one killed mid-page: a hostile
    // document would otherwise keep it spinning with no one to stop it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != host) ::_exit(1);
    ::close(ours.release());
    placeChannel(theirs.get());
    if (runForked_) runForked_(fonts_);
    // Only async-signal-safe calls here: the host may have threads.
    char* const argv[] = {const_cast<char*>(program), nullptr};
    ::execv(program, argv);
    ::_exit(127);
  }
  channel_ = std::move(ours);
  pid_ = pid;
  return 0;
}

void DrawerClient::letGo() {
  channel_.reset();
  pid_ = -1;
}

std::string DrawerClient::stop(bool kill) {
  channel_.reset();
  if (pid_ < 0) return "the drawer stopped";
  const pid_t pid = std::exchange(pid_, -1);
  int status = 0;
  if (!kill) {
    const auto until = Clock::now() + leavingTime;
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) return describeEnd(status);
      if (done < 0 && errno != EINTR) return "the drawer stopped";
      if (Clock::now() >= until) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  // A drawer that cannot be stopped is left, rather than waited for forever.
  if (::kill(pid, SIGKILL) != 0 && errno != ESRCH) return "the drawer could not be stopped";
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return describeEnd(status);
}

DrawReply DrawerClient::draw(int document, const DrawRequest& request,
                             std::chrono::milliseconds deadline) {
  if (const int error = start()) {
    return drawerFailure("cannot start the drawer " + program_ + ": " + std::strerror(error));
  }
  const auto until = Clock::now() + deadline;
  if (!sendMessage(channel_.get(), encodeRequest(request), document))
    return drawerFailure(stop(false));
  Message message = receiveMessage(channel_.get(), maxReplyBytes, until);
  switch (message.status) {
    case Message::Status::received:
      break;
    case Message::Status::timedOut:
      stop(true);
      return drawerFailure("the drawer took longer than " + seconds(deadline) + " s");
    case Message::Status::closed:
    case Message::Status::invalid:
      return drawerFailure(stop(false));
  }
  std::optional<DrawReply> reply = decodeReply(message.body);
  if (!reply || !plausible(*reply, request) || reply->failure == DrawFailure::drawer) {
    stop(true);
    return drawerFailure("the drawer answered with a malformed reply");
  }
  return std::move(*reply);
}

DrawReply DrawerPool::draw(int document, const DrawRequest& request,
                           std::chrono::milliseconds deadline) {
  std::optional<DrawerClient> drawer;
  {
    const std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      drawer.emplace(std::move(idle_.back()));
      idle_.pop_back();
    }
  }
  if (!drawer) drawer.emplace(DrawerClient::program(program_));
  DrawReply reply = drawer->draw(document, request, deadline);
  const std::lock_guard lock(mutex_);
  idle_.push_back(std::move(*drawer));
  return reply;
}

std::string drawerProgramNear(const void* address, std::initializer_list<const char*> folders) {
  Dl_info info{};
  std::string path;
  // A plugin linked into its host's folder from another prefix finds the
  // drawer of its own.
  char resolved[PATH_MAX];
  if (::dladdr(address, &info) != 0 && info.dli_fname && ::realpath(info.dli_fname, resolved)) {
    path = resolved;
  }
  return drawerProgramIn(path.substr(0, path.rfind('/') + 1), folders);
}

std::string drawerProgramPath() {
  return drawerProgramIn(programFolder(), {".", TAMSEL_DRAWER_FROM_BINDIR});
}

}  // namespace tamsel
