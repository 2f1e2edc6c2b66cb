// SPDX-License-Identifier: MIT
// A child confined as each program confines itself tries each way out. The
// same child unconfined must get through every one, so a confinement that
// does nothing fails here rather than passing.
#include "platform/confinement.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "drawer/drawer.h"
#include "platform/sanitizers.h"
#include "platform/unique_fd.h"
#include "render/font_setup.h"
#include "service/process_confinement.h"
#include "support/scratch_directory.h"

extern char** environ;

namespace tamsel {
namespace {

// What the attempts reach for: a document and where its page goes, a key
// that stands for ~/.ssh/id_rsa, and two listeners on this machine.
struct World {
  testing::ScratchDirectory dir;
  std::string document = dir.write("doc.md", "# Doc\n");
  std::string output = dir / "out/page.png";
  std::string cacheHome = dir / "cache";
  std::string key = dir.write("home/.ssh/id_rsa", "secret\n");
  std::string font;
  std::vector<std::string> fontPaths;
  UniqueFd tcp{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  sockaddr_in tcpAddress{
      .sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  UniqueFd unix{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  int pair[2] = {-1, -1};  // stands for a drawer's channel, open before confining
  sockaddr_un unixAddress{.sun_family = AF_UNIX, .sun_path = {}};

  ~World() {
    ::close(pair[0]);
    ::close(pair[1]);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  World() {
    dir.write("cache/thumbnails/large/.keep", "");
    dir.write("out/.tamsel-temp", "");
    socklen_t length = sizeof tcpAddress;
    auto* tcpAt = reinterpret_cast<sockaddr*>(&tcpAddress);
    if (::bind(tcp.get(), tcpAt, length) != 0 || ::getsockname(tcp.get(), tcpAt, &length) != 0 ||
        ::listen(tcp.get(), 4) != 0) {
      std::perror("TCP listener");
    }
    std::snprintf(unixAddress.sun_path, sizeof unixAddress.sun_path, "%s", (dir / "bus").c_str());
    if (::bind(unix.get(), reinterpret_cast<sockaddr*>(&unixAddress), sizeof unixAddress) != 0 ||
        ::listen(unix.get(), 4) != 0) {
      std::perror("Unix listener");
    }
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
    // A font fontconfig itself names: not every file below the font folders
    // is one (poppler-data links its CMaps there from elsewhere).
    fontPaths = fontConfigPaths(false);
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        font = reinterpret_cast<const char*>(file);
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
};

// 0 when the attempt got through, else the errno that stopped it.
int openFile(const std::string& path, int flags) {
  const UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, 0600));
  return fd ? 0 : errno;
}

int connectTo(int domain, const void* address, socklen_t length) {
  const UniqueFd fd(::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return errno;
  return ::connect(fd.get(), static_cast<const sockaddr*>(address), length) == 0 ? 0 : errno;
}

int runTrue() {
  char name[] = "true";
  char* argv[] = {name, nullptr};
  ::execve("/bin/true", argv, environ);  // /bin/true exits 0: got through
  return errno;
}

int traceAChild() {
  const pid_t tracee = ::fork();
  if (tracee == 0) {
    ::pause();
    ::_exit(0);
  }
  const int result = ::ptrace(PTRACE_ATTACH, tracee, nullptr, nullptr) == 0 ? 0 : errno;
  ::kill(tracee, SIGKILL);
  ::waitpid(tracee, nullptr, 0);
  return result;
}

int makeInTmp() {
  const std::string path = "/tmp/tamsel-escape-" + std::to_string(::getpid());
  const int result = openFile(path, O_WRONLY | O_CREAT | O_EXCL);
  ::unlink(path.c_str());
  return result;
}

// The front ends, and the drawer they hand documents to.
enum class Mode { page, cache, drawer };

Confinement confinementOf(Mode mode, const World& world) {
  switch (mode) {
    case Mode::page:
      return thumbnailConfinement(world.output, false);
    case Mode::cache:
      return cacheConfinement(world.cacheHome, "/bin/true");
    case Mode::drawer:
      return drawerConfinement(world.fontPaths);
  }
  return {};
}

// Runs `attempt` in a child, confined first when asked; what it returned.
int inChild(const std::function<int()>& attempt, const std::optional<Confinement>& confinement) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (confinement) confine(*confinement);
    ::_exit(std::min(attempt(), 255));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 256 + status;
}

struct Row {
  const char* name;
  std::function<int(const World&)> attempt;
  bool allowed[3];            // confined, in Mode order
  bool byLandlock;            // whether only Landlock stops it
  bool forLeakCheck = false;  // whether LeakSanitizer's builds allow it
};

const Row rows[] = {
    {"ReadAKeyOutside",
     [](const World& w) { return openFile(w.key, O_RDONLY); },
     {false, true, false},
     true,
     true},
    {"WriteBesideIt",
     [](const World& w) {
       return openFile(w.dir / "home/.ssh/authorized_keys", O_WRONLY | O_CREAT);
     },
     {false, false, false},
     true},
    {"MakeAFileInTmp", [](const World&) { return makeInTmp(); }, {false, false, false}, true},
    {"ConnectOverTcp",
     [](const World& w) { return connectTo(AF_INET, &w.tcpAddress, sizeof w.tcpAddress); },
     {false, false, false},
     false},
    {"ConnectToAUnixSocket",
     [](const World& w) { return connectTo(AF_UNIX, &w.unixAddress, sizeof w.unixAddress); },
     {false, false, false},
     false},
    // Front ends talk to their drawers; a drawer only on its channel.
    {"SendOnAnOpenSocket",
     [](const World& w) { return ::send(w.pair[0], "x", 1, MSG_NOSIGNAL) == 1 ? 0 : errno; },
     {true, true, false},
     false},
    // The cache may start its drawer program (here /bin/true), and nothing else.
    {"RunAProgram", [](const World&) { return runTrue(); }, {false, true, false}, false, true},
    {"TraceAProcess",
     [](const World&) { return traceAChild(); },
     {false, false, false},
     false,
     true},
    // What the work needs stays open.
    {"ReadTheDocument",
     [](const World& w) { return openFile(w.document, O_RDONLY); },
     {false, true, false},
     true,
     true},
    {"ReadAFont",
     [](const World& w) { return openFile(w.font, O_RDONLY); },
     {false, true, true},
     true,
     true},
    {"PutThePageInPlace",
     [](const World& w) {
       return ::rename((w.dir / "out/.tamsel-temp").c_str(), w.output.c_str()) == 0 ? 0 : errno;
     },
     {true, false, false},
     true},
    {"WriteIntoTheCache",
     [](const World& w) {
       return openFile(w.cacheHome + "/thumbnails/large/x.png", O_RDWR | O_CREAT);
     },
     {false, true, false},
     true},
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

class ConfinementTest : public ::testing::TestWithParam<std::tuple<Mode, Row>> {};

TEST_P(ConfinementTest, HoldsExactlyWhereItShould) {
  const Mode mode = std::get<0>(GetParam());
  const Row& row = std::get<1>(GetParam());
  const World world;
  ASSERT_FALSE(world.font.empty());
  if (row.byLandlock && availableConfinement().landlockAbi == 0) GTEST_SKIP() << "no Landlock here";
  if (leakChecked && row.forLeakCheck) {
    GTEST_SKIP() << "LeakSanitizer's builds leave reading, running and tracing open";
  }
  auto attempt = [&] { return row.attempt(world); };
  const int unconfined = inChild(attempt, std::nullopt);
  ASSERT_EQ(unconfined, 0) << "unconfined: " << std::strerror(unconfined);
  world.dir.write("out/.tamsel-temp", "");
  const int confined = inChild(attempt, confinementOf(mode, world));
  if (row.allowed[static_cast<int>(mode)]) {
    EXPECT_EQ(confined, 0) << std::strerror(confined);
  } else {
    EXPECT_TRUE(confined == EACCES || confined == EPERM)
        << confined << ": " << std::strerror(confined);
  }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Mode, Row>>& param) {
  constexpr const char* modeNames[] = {"Page", "Cache", "Drawer"};
  const auto& [mode, row] = param.param;
  return std::string(modeNames[static_cast<int>(mode)]) + row.name;
}

INSTANTIATE_TEST_SUITE_P(Escapes, ConfinementTest,
                         ::testing::Combine(::testing::Values(Mode::page, Mode::cache,
                                                              Mode::drawer),
                                            ::testing::ValuesIn(rows)),
                         caseName);

}  // namespace
}  // namespace tamsel
