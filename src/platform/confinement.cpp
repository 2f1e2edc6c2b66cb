// SPDX-License-Identifier: MIT
#define G_LOG_DOMAIN "tamsel"
#include "platform/confinement.h"

#include <fcntl.h>
#include <glib.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "call_filters.inc"
#include "platform/sanitizers.h"
#include "platform/unique_fd.h"

namespace tamsel {
namespace {

// LeakSanitizer's check at exit stops the threads with ptrace, reads /proc,
// its suppressions file and the program's libraries, and runs a symbolizer
// to name what it found. Its builds, never shipped, leave reading, running
// and tracing open; writing and the network stay shut (leakChecked).

// Rights of later ABIs than the oldest supported headers (Linux 6.1) know.
constexpr std::uint64_t fsTruncate = 1ULL << 14;        // ABI 3
constexpr std::uint64_t fsIoctlDev = 1ULL << 15;        // ABI 5
constexpr std::uint64_t netBindTcp = 1ULL << 0;         // ABI 4
constexpr std::uint64_t netConnectTcp = 1ULL << 1;      // ABI 4
constexpr std::uint64_t scopeAbstractUnix = 1ULL << 0;  // ABI 6
constexpr std::uint64_t scopeSignal = 1ULL << 1;        // ABI 6

// struct landlock_ruleset_attr as of ABI 6; a kernel that knows less is
// given only the fields it knows.
struct RulesetAttr {
  std::uint64_t handledAccessFs = 0;
  std::uint64_t handledAccessNet = 0;
  std::uint64_t scoped = 0;
};

constexpr std::uint64_t fsRead = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// What may be granted on a file rather than a folder.
constexpr std::uint64_t fileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                     LANDLOCK_ACCESS_FS_READ_FILE | fsTruncate | fsIoctlDev;

std::uint64_t handledFs(int abi) {
  std::uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // ABI 1: bits 0 to 12
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= fsTruncate;
  if (abi >= 5) rights |= fsIoctlDev;
  return rights;
}

std::uint64_t rightsFor(Confinement::Access access) {
  switch (access) {
    case Confinement::Access::read:
      return fsRead;
    case Confinement::Access::run:
      return fsRead | LANDLOCK_ACCESS_FS_EXECUTE;
    case Confinement::Access::fill:
      return LANDLOCK_ACCESS_FS_WRITE_FILE | fsTruncate;
    case Confinement::Access::replaceIn:
      // A rename within one folder: no REFER, which moves across folders.
      return LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_REMOVE_FILE;
    case Confinement::Access::cache:
      return fsRead | LANDLOCK_ACCESS_FS_WRITE_FILE | fsTruncate | LANDLOCK_ACCESS_FS_MAKE_REG |
             LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE;
  }
  return 0;
}

// The kernel's Landlock ABI, or 0 with errno saying why there is none.
int landlockAbi() {
  const long abi =
      ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return abi > 0 ? static_cast<int>(abi) : 0;
}

void addRule(int ruleset, const std::string& path, std::uint64_t rights) {
  const UniqueFd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) rights &= fileRights;
  if (rights == 0) return;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = rights;
  rule.parent_fd = fd.get();
  // A rule that cannot be added leaves less allowed, never more.
  ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
}

// 0, or the errno of the step that failed.
int restrictFileSystem(int abi, const Confinement& confinement) {
  RulesetAttr attr{.handledAccessFs = handledFs(abi)};
  std::size_t size = sizeof attr.handledAccessFs;
  if (abi >= 4) {
    attr.handledAccessNet = netBindTcp | netConnectTcp;
    size += sizeof attr.handledAccessNet;
  }
  if (abi >= 6) {
    // A front end must still stop its drawer, which confined itself apart
    // from it (a deadline passed, or its own end); a drawer reaches no one.
    const bool drawing = confinement.calls == Confinement::Calls::drawing;
    attr.scoped = drawing ? scopeSignal | scopeAbstractUnix : 0;
    size += sizeof attr.scoped;
  }
  const UniqueFd ruleset(static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, size, 0)));
  if (!ruleset) return errno;
  for (const Confinement::Path& path : confinement.paths) {
    addRule(ruleset.get(), path.path, rightsFor(path.access) & attr.handledAccessFs);
  }
  if (leakChecked) addRule(ruleset.get(), "/", fsRead | LANDLOCK_ACCESS_FS_EXECUTE);
  if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) return errno;
  return 0;
}

// 0, or the errno of the step that failed.
int filterCalls(Confinement::Calls calls) {
  // TSYNC: threads already running get the filter too.
  const std::span<const sock_filter> filter =
      detail::callFilters[static_cast<int>(calls)][leakChecked];
  sock_fprog program{.len = static_cast<unsigned short>(filter.size()),
                     .filter = const_cast<sock_filter*>(filter.data())};
  const long rc =
      ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program);
  if (rc < 0) return errno;
  return rc == 0 ? 0 : ESRCH;  // the thread that could not take the filter
}

void debugMissing(const char* what, int error) {
  // Debug output goes where errors go, never into what stdout carries.
  g_log_writer_default_set_use_stderr(TRUE);
  g_debug("not confined by %s: %s", what, std::strerror(error));
}

bool seccompAvailable() {
  std::uint32_t action = SECCOMP_RET_ERRNO;
  return ::syscall(SYS_seccomp, SECCOMP_GET_ACTION_AVAIL, 0, &action) == 0;
}

// The Landlock ABI in force, or 0.
int confineFileSystem(const Confinement& confinement) {
  // Landlock without CAP_SYS_ADMIN needs it.
  ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  int abi = landlockAbi();
  const int error = abi == 0 ? errno : restrictFileSystem(abi, confinement);
  if (error) {
    abi = 0;
    debugMissing("Landlock", error);
  }
  return abi;
}

bool confineCalls(const Confinement& confinement) {
  if (const int error = filterCalls(confinement.calls)) {
    debugMissing("seccomp", error);
    return false;
  }
  return true;
}

}  // namespace

ConfinementLevel confine(const Confinement& confinement) {
  const int abi = confineFileSystem(confinement);
  return {.landlockAbi = abi, .seccomp = confineCalls(confinement)};
}

ConfinementLevel availableConfinement() {
  return {.landlockAbi = landlockAbi(), .seccomp = seccompAvailable()};
}

std::string describeConfinement(const ConfinementLevel& level) {
  std::string text;
  if (level.landlockAbi > 0) text = "landlock ABI " + std::to_string(level.landlockAbi);
  if (level.seccomp) text += text.empty() ? "seccomp" : ", seccomp";
  return text.empty() ? "none" : text;
}

}  // namespace tamsel
