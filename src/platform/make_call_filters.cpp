// SPDX-License-Identifier: MIT
// Writes the seccomp filters confine() installs, as libseccomp compiles them,
// into the header named on the command line. They are made once, when the
// project is built: loading libseccomp and compiling them in every process
// would cost each thumbnail about 0.25 ms, more than the rest of its
// confinement. The filters are for the architecture this runs on, the one
// built for unless cross-compiling.
#include <fcntl.h>
#include <linux/filter.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// The processes that never read a document: denied outright, whatever the
// arguments.
constexpr int deniedCalls[] = {
    // Other processes' memory and descriptors.
    SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(pidfd_getfd),
    SCMP_SYS(perf_event_open),
    // The network, and any socket or connection not already open.
    SCMP_SYS(socket), SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen), SCMP_SYS(accept),
    SCMP_SYS(accept4),
    // File systems, mounts and namespaces.
    SCMP_SYS(mount), SCMP_SYS(umount2), SCMP_SYS(pivot_root), SCMP_SYS(chroot), SCMP_SYS(unshare),
    SCMP_SYS(setns), SCMP_SYS(mount_setattr), SCMP_SYS(move_mount), SCMP_SYS(open_tree),
    SCMP_SYS(fsopen), SCMP_SYS(fsconfig), SCMP_SYS(fsmount), SCMP_SYS(fspick),
    SCMP_SYS(open_by_handle_at), SCMP_SYS(name_to_handle_at), SCMP_SYS(fanotify_init),
    // Keyrings, BPF, and io_uring, whose requests seccomp never sees.
    SCMP_SYS(add_key), SCMP_SYS(request_key), SCMP_SYS(keyctl), SCMP_SYS(bpf),
    SCMP_SYS(userfaultfd), SCMP_SYS(io_uring_setup), SCMP_SYS(io_uring_enter),
    SCMP_SYS(io_uring_register),
    // The kernel and the machine.
    SCMP_SYS(init_module), SCMP_SYS(finit_module), SCMP_SYS(delete_module), SCMP_SYS(kexec_load),
    SCMP_SYS(kexec_file_load), SCMP_SYS(reboot), SCMP_SYS(swapon), SCMP_SYS(swapoff),
    SCMP_SYS(acct), SCMP_SYS(syslog), SCMP_SYS(quotactl), SCMP_SYS(iopl), SCMP_SYS(ioperm),
    SCMP_SYS(uselib), SCMP_SYS(vhangup)};

// Denied unless LeakSanitizer's check at exit needs them (see confinement.cpp),
// or a broker must start a drawer program.
constexpr int running[] = {SCMP_SYS(execve), SCMP_SYS(execveat)};
constexpr int tracing[] = {SCMP_SYS(ptrace)};

constexpr std::uint64_t namespaceFlags = CLONE_NEWNS | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET |
                                         CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWCGROUP;

// What a drawer does, and nothing more: reading the document it was handed
// and the fonts, memory, threads, the clock, and its channel.
constexpr int drawingCalls[] = {
    // Reading what is open or may be opened for reading (fonts, caches).
    SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(lseek), SCMP_SYS(close),
    SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(getdents64), SCMP_SYS(access),
    SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(readlink), SCMP_SYS(readlinkat),
    SCMP_SYS(getcwd),
    // Descriptors it owns: every other was closed before it confined itself,
    // and no call here opens one for writing.
    SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(dup), SCMP_SYS(pipe2), SCMP_SYS(eventfd2),
    SCMP_SYS(poll), SCMP_SYS(ppoll),
    // Memory.
    SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
    SCMP_SYS(madvise),
    // Threads (made with clone, below) and their ends.
    SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(get_robust_list), SCMP_SYS(rseq),
    SCMP_SYS(set_tid_address), SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity), SCMP_SYS(exit),
    SCMP_SYS(exit_group),
    // Its own signal handling: no signal leaves the process.
    SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack),
    // Who and when it is.
    SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid),
    SCMP_SYS(getegid), SCMP_SYS(uname), SCMP_SYS(sysinfo), SCMP_SYS(getrandom),
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
    SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep)};

// Socket calls on the drawer's channel, and only there.
constexpr int channelCalls[] = {SCMP_SYS(recvmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendmsg),
                                SCMP_SYS(sendto)};

// What an escape from a drawer would reach for first, denied in the builds
// whose drawers cannot have an allowlist (LeakSanitizer's).
constexpr int drawerDenials[] = {SCMP_SYS(chmod),
                                 SCMP_SYS(fchmod),
                                 SCMP_SYS(fchmodat),
                                 SCMP_SYS(chown),
                                 SCMP_SYS(fchown),
                                 SCMP_SYS(lchown),
                                 SCMP_SYS(fchownat),
                                 SCMP_SYS(utime),
                                 SCMP_SYS(utimes),
                                 SCMP_SYS(futimesat),
                                 SCMP_SYS(utimensat),
                                 SCMP_SYS(setxattr),
                                 SCMP_SYS(lsetxattr),
                                 SCMP_SYS(fsetxattr),
                                 SCMP_SYS(removexattr),
                                 SCMP_SYS(lremovexattr),
                                 SCMP_SYS(fremovexattr),
                                 SCMP_SYS(truncate),
                                 SCMP_SYS(ftruncate),
                                 SCMP_SYS(rename),
                                 SCMP_SYS(renameat),
                                 SCMP_SYS(renameat2),
                                 SCMP_SYS(unlink),
                                 SCMP_SYS(unlinkat),
                                 SCMP_SYS(rmdir),
                                 SCMP_SYS(link),
                                 SCMP_SYS(linkat),
                                 SCMP_SYS(symlink),
                                 SCMP_SYS(symlinkat),
                                 SCMP_SYS(mkdir),
                                 SCMP_SYS(mkdirat),
                                 SCMP_SYS(mknod),
                                 SCMP_SYS(mknodat),
                                 SCMP_SYS(kill),
                                 SCMP_SYS(tkill),
                                 SCMP_SYS(tgkill),
                                 SCMP_SYS(pidfd_send_signal),
                                 SCMP_SYS(rt_sigqueueinfo),
                                 SCMP_SYS(rt_tgsigqueueinfo),
                                 SCMP_SYS(socketpair),
                                 SCMP_SYS(openat2)};

// Flags that open a file for anything but reading.
constexpr std::uint64_t writingFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | 020000000;

// The channel a drawer talks to its host on; drawer.h says so too.
constexpr std::uint64_t drawerChannel = 3;

enum class Kind { ownSockets, startsDrawers, drawing };

// Argument `index` masked with `mask` is `value`; SCMP_A0 and its kin are C
// compound literals.
scmp_arg_cmp argument(unsigned index, std::uint64_t mask, std::uint64_t value) {
  return {.arg = index, .op = SCMP_CMP_MASKED_EQ, .datum_a = mask, .datum_b = value};
}

void releaseFilter(void* filter) {
  seccomp_release(filter);
}

void denyAll(void* ctx, std::uint32_t action, const auto& calls) {
  // A call this architecture lacks cannot be added, nor made.
  for (const int call : calls) seccomp_rule_add(ctx, action, call, 0);
}

void allowAll(void* ctx, const auto& calls) {
  for (const int call : calls) seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0);
}

// The calls a drawer may make, each allowed only with the arguments drawing
// uses.
void allowDrawing(void* ctx) {
  allowAll(ctx, drawingCalls);
  for (const int call : channelCalls) {
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 1, argument(0, ~0ULL, drawerChannel));
  }
  seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(open), 1, argument(1, writingFlags, 0));
  seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1, argument(2, writingFlags, 0));
  // Threads only: a thread shares everything, so it can do nothing the
  // drawer cannot; namespaces never come with it.
  seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                   argument(0, CLONE_THREAD | namespaceFlags, CLONE_THREAD));
  // Whether a stream is a terminal (GLib asks of standard error).
  seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), 1, argument(1, 0xFFFF'FFFFu, TCGETS));
  // Descriptor flags; never F_SETOWN, which would aim signals at another
  // process.
  for (const int command : {F_GETFD, F_SETFD, F_GETFL, F_SETFL, F_DUPFD_CLOEXEC}) {
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1,
                     argument(1, ~0ULL, static_cast<std::uint64_t>(command)));
  }
  // GLib names its threads.
  for (const int option : {PR_SET_NAME, PR_GET_NAME}) {
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                     argument(0, ~0ULL, static_cast<std::uint64_t>(option)));
  }
  // Reading its own limits (threads' stacks), never setting them.
  seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 2, argument(0, ~0ULL, 0),
                   argument(2, ~0ULL, 0));
}

// The filter's instructions, or none when libseccomp refused it.
std::vector<sock_filter> compile(Kind kind, bool leakChecked) {
  const std::uint32_t denied = SCMP_ACT_ERRNO(EPERM);
  const bool allowlist = kind == Kind::drawing && !leakChecked;
  const std::unique_ptr<void, decltype(&releaseFilter)> filter(
      seccomp_init(allowlist ? denied : SCMP_ACT_ALLOW), releaseFilter);
  if (!filter) return {};
  void* ctx = filter.get();
  // Calls of another ABI (int 0x80 on x86-64) would pass a filter written
  // for this one unexamined.
  seccomp_attr_set(ctx, SCMP_FLTATR_ACT_BADARCH, denied);
  // A tree of comparisons rather than a list: fewer to run on every call.
  seccomp_attr_set(ctx, SCMP_FLTATR_CTL_OPTIMIZE, 2);
  // clone3's flags are in memory the filter cannot read; C libraries fall
  // back to clone on ENOSYS.
  seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
  if (allowlist) {
    allowDrawing(ctx);
  } else {
    denyAll(ctx, denied, deniedCalls);
    if (kind != Kind::startsDrawers) seccomp_rule_add(ctx, denied, SCMP_SYS(socketpair), 0);
    if (!leakChecked) {
      if (kind != Kind::startsDrawers) denyAll(ctx, denied, running);
      denyAll(ctx, denied, tracing);
    }
    for (const std::uint64_t flag : {CLONE_NEWNS, CLONE_NEWUSER, CLONE_NEWPID, CLONE_NEWNET,
                                     CLONE_NEWUTS, CLONE_NEWIPC, CLONE_NEWCGROUP}) {
      seccomp_rule_add(ctx, denied, SCMP_SYS(clone), 1, argument(0, flag, flag));
    }
    // Typing into the terminal the process was started from. The kernel
    // reads the request as 32 bits, so the upper half must not hide it.
    for (const unsigned long request : {TIOCSTI, TIOCLINUX}) {
      seccomp_rule_add(ctx, denied, SCMP_SYS(ioctl), 1, argument(1, 0xFFFF'FFFFu, request));
    }
    if (kind == Kind::drawing) {
      denyAll(ctx, denied, drawerDenials);
      for (const int call : channelCalls) {
        seccomp_rule_add(
            ctx, denied, call, 1,
            scmp_arg_cmp{.arg = 0, .op = SCMP_CMP_NE, .datum_a = drawerChannel, .datum_b = 0});
      }
      for (const std::uint64_t flag : {std::uint64_t{O_WRONLY}, std::uint64_t{O_RDWR},
                                       std::uint64_t{O_CREAT}, std::uint64_t{O_TRUNC}}) {
        seccomp_rule_add(ctx, denied, SCMP_SYS(open), 1, argument(1, flag, flag));
        seccomp_rule_add(ctx, denied, SCMP_SYS(openat), 1, argument(2, flag, flag));
      }
    }
  }

  std::FILE* bytes = std::tmpfile();
  if (!bytes) return {};
  std::vector<sock_filter> program;
  if (seccomp_export_bpf(ctx, fileno(bytes)) == 0) {
    std::rewind(bytes);
    sock_filter instruction{};
    while (std::fread(&instruction, sizeof instruction, 1, bytes) == 1) {
      program.push_back(instruction);
    }
  }
  std::fclose(bytes);
  return program;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_call_filters HEADER\n");
    return 2;
  }
  std::string text =
      "// Made by make_call_filters with libseccomp when the project was built.\n"
      "namespace tamsel::detail {\n";
  std::string table;
  for (const Kind kind : {Kind::ownSockets, Kind::startsDrawers, Kind::drawing}) {
    table += "    {";
    for (const bool leakChecked : {false, true}) {
      const std::vector<sock_filter> program = compile(kind, leakChecked);
      if (program.empty()) {
        std::fprintf(stderr, "make_call_filters: libseccomp made no filter\n");
        return 1;
      }
      const std::string name =
          "callFilter" + std::to_string(static_cast<int>(kind)) + std::to_string(leakChecked);
      text += "constexpr sock_filter " + name + "[] = {\n";
      for (const sock_filter& op : program) {
        char line[64];
        std::snprintf(line, sizeof line, "    {0x%04x, %u, %u, 0x%08xu},\n", op.code, op.jt, op.jf,
                      op.k);
        text += line;
      }
      text += "};\n";
      table += name + (leakChecked ? "},\n" : ", ");
    }
  }
  text +=
      "// By Confinement::Calls, then whether LeakSanitizer checks at exit.\n"
      "constexpr std::span<const sock_filter> callFilters[3][2] = {\n" +
      table + "};\n}  // namespace tamsel::detail\n";
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out || std::fputs(text.c_str(), out) < 0 || std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
