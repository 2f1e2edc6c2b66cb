// SPDX-License-Identifier: MIT
// Preloaded into the programs, it acts as an exploit in a document parser
// would: the moment a marked document's bytes are read, after confinement,
// it tries one way out and ends the process, 70 if it got through, 71 if
// it was refused.
//
//   LD_PRELOAD=escape_probe.so TAMSEL_PROBE_ATTEMPT=NAME:ARG[:ARG2] ...
//
// TAMSEL_PROBE_LANDLOCK_ABI=N stands in for another kernel: one reporting
// Landlock ABI N, or for 0, one without Landlock.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char marker[] = "<!-- tamsel-probe -->";

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using ReadFn = ssize_t (*)(int, void*, size_t);
using PreadFn = ssize_t (*)(int, void*, size_t, off_t);
using Pread64Fn = ssize_t (*)(int, void*, size_t, off64_t);

// 0 when the call succeeded, else what stopped it.
int outcome(long rc) {
  return rc < 0 ? (errno ? errno : EIO) : 0;
}

int closing(int fd, long rc) {
  const int result = outcome(rc);
  ::close(fd);
  return result;
}

int runAttempt(const char* wanted) {
  char text[4096];
  std::strncpy(text, wanted, sizeof text - 1);
  text[sizeof text - 1] = '\0';
  char* arg = std::strchr(text, ':');
  if (arg) *arg++ = '\0';
  char* arg2 = arg ? std::strchr(arg, ':') : nullptr;
  if (arg2) *arg2++ = '\0';
  const char* name = text;
  errno = 0;

  if (!std::strcmp(name, "crash")) {
    int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
  if (!std::strcmp(name, "hang")) {
    // No system call, so no filter ever sees it.
    volatile unsigned long spin = 0;
    for (;;) spin = spin + 1;
  }
  if (!std::strcmp(name, "exec")) {
    // In a child, so success can still be reported; a refused fork is
    // no proof, so then the process itself tries.
    const pid_t child = ::fork();
    if (child == 0) {
      const char* argv[] = {"true", nullptr};
      ::execve("/bin/true", const_cast<char**>(argv), environ);
      ::_exit(errno);
    }
    if (child < 0) {
      const char* argv[] = {"sh", "-c", "exit 70", nullptr};
      ::execve("/bin/sh", const_cast<char**>(argv), environ);
      return outcome(-1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) < 0) return outcome(-1);
    return WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
  }
  if (!arg) return EINVAL;

  if (!std::strcmp(name, "read")) {
    const int fd = ::open(arg, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return outcome(-1);
    char byte;
    return closing(fd, ::read(fd, &byte, 1));
  }
  if (!std::strcmp(name, "create")) {
    const int fd = ::open(arg, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    return fd < 0 ? outcome(-1) : closing(fd, 0);
  }
  if (!std::strcmp(name, "write")) {
    const int fd = ::open(arg, O_WRONLY | O_CLOEXEC);
    return fd < 0 ? outcome(-1) : closing(fd, ::write(fd, "x", 1));
  }
  if (!std::strcmp(name, "chmod")) return outcome(::chmod(arg, 0777));
  if (!std::strcmp(name, "utime")) {
    const timespec times[2] = {{0, 0}, {0, 0}};
    return outcome(::utimensat(AT_FDCWD, arg, times, 0));
  }
  if (!std::strcmp(name, "setxattr")) {
    return outcome(::setxattr(arg, "user.tamsel-probe", "x", 1, 0));
  }
  if (!std::strcmp(name, "truncate")) return outcome(::truncate(arg, 0));
  if (!std::strcmp(name, "kill")) return outcome(::kill(std::atoi(arg), SIGCONT));
  if (!std::strcmp(name, "rename")) return arg2 ? outcome(::rename(arg, arg2)) : EINVAL;
  if (!std::strcmp(name, "unlink")) return outcome(::unlink(arg));
  if (!std::strcmp(name, "mkdir")) return outcome(::mkdir(arg, 0700));
  if (!std::strcmp(name, "socket-write")) return outcome(::write(std::atoi(arg), "x", 1));
  if (!std::strcmp(name, "connect")) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return outcome(-1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, arg, sizeof address.sun_path - 1);
    return closing(fd, ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  }
  return EINVAL;
}

void onBytes(const void* bytes, ssize_t got) {
  static std::atomic<bool> ran = false;
  const char* wanted = std::getenv("TAMSEL_PROBE_ATTEMPT");
  if (!wanted || got < static_cast<ssize_t>(sizeof marker - 1) ||
      std::memcmp(bytes, marker, sizeof marker - 1) != 0 || ran.exchange(true)) {
    return;
  }
  ::_exit(runAttempt(wanted) == 0 ? 70 : 71);
}

}  // namespace

extern "C" {

int tamsel_probe_attempt(const char* wanted) {
  return runAttempt(wanted);
}

ssize_t read(int fd, void* buffer, size_t size) {
  static const ReadFn real = next<ReadFn>("read");
  const ssize_t got = real(fd, buffer, size);
  onBytes(buffer, got);
  return got;
}

ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
  static const PreadFn real = next<PreadFn>("pread");
  const ssize_t got = real(fd, buffer, size, offset);
  onBytes(buffer, got);
  return got;
}

ssize_t pread64(int fd, void* buffer, size_t size, off64_t offset) {
  static const Pread64Fn real = next<Pread64Fn>("pread64");
  const ssize_t got = real(fd, buffer, size, offset);
  onBytes(buffer, got);
  return got;
}

long syscall(long number, ...) noexcept {
  va_list list;
  va_start(list, number);
  long a[6];
  for (long& value : a) value = va_arg(list, long);
  va_end(list);
  static const char* const abi = std::getenv("TAMSEL_PROBE_LANDLOCK_ABI");
  if (abi) {
    const long version = std::atol(abi);
    const bool landlock = number == SYS_landlock_create_ruleset ||
                          number == SYS_landlock_add_rule || number == SYS_landlock_restrict_self;
    if (landlock && version == 0) {
      errno = ENOSYS;
      return -1;
    }
    if (number == SYS_landlock_create_ruleset && a[2] == LANDLOCK_CREATE_RULESET_VERSION) {
      return version;
    }
  }
  using SyscallFn = long (*)(long, ...);
  static const SyscallFn real = next<SyscallFn>("syscall");
  return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // extern "C"
