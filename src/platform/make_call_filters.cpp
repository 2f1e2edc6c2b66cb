// SPDX-License-Identifier: MIT
// Writes the seccomp filters confine() installs, as libseccomp compiles them,
// into the header named on the command line. They are made once, when the
// project is built: loading libseccomp and compiling them in every process
// would cost each thumbnail about 0.25 ms, more than the rest of its
// confinement. The filters are for the architecture this runs on, the one
// built for unless cross-compiling.
#include <linux/filter.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Denied outright, whatever the arguments.
constexpr int deniedCalls[] = {
    // Other processes' memory and descriptors.
    SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(pidfd_getfd),
    SCMP_SYS(perf_event_open),
    // The network, and any socket or connection not already open.
    SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen),
    SCMP_SYS(accept), SCMP_SYS(accept4),
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

// Denied unless sockets already open must stay usable.
constexpr int socketTraffic[] = {SCMP_SYS(sendto),   SCMP_SYS(sendmsg), SCMP_SYS(sendmmsg),
                                 SCMP_SYS(recvfrom), SCMP_SYS(recvmsg), SCMP_SYS(recvmmsg)};

// Denied unless LeakSanitizer's check at exit needs them (see confinement.cpp).
constexpr int runningAndTracing[] = {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(ptrace)};

constexpr std::uint64_t namespaceFlags[] = {CLONE_NEWNS,    CLONE_NEWUSER, CLONE_NEWPID,
                                            CLONE_NEWNET,   CLONE_NEWUTS,  CLONE_NEWIPC,
                                            CLONE_NEWCGROUP};

// Argument `index` masked with `mask` is `value`; SCMP_A0 and its kin are C
// compound literals.
scmp_arg_cmp argument(unsigned index, std::uint64_t mask, std::uint64_t value) {
  return {.arg = index, .op = SCMP_CMP_MASKED_EQ, .datum_a = mask, .datum_b = value};
}

void releaseFilter(void* filter) {
  seccomp_release(filter);
}

// The filter's instructions, or none when libseccomp refused it.
std::vector<sock_filter> compile(bool keepsOpenSockets, bool leakChecked) {
  const std::unique_ptr<void, decltype(&releaseFilter)> filter(seccomp_init(SCMP_ACT_ALLOW),
                                                               releaseFilter);
  if (!filter) return {};
  void* ctx = filter.get();
  const std::uint32_t denied = SCMP_ACT_ERRNO(EPERM);
  // Calls of another ABI (int 0x80 on x86-64) would pass a filter written
  // for this one unexamined.
  seccomp_attr_set(ctx, SCMP_FLTATR_ACT_BADARCH, denied);
  // A tree of comparisons rather than a list: fewer to run on every call.
  seccomp_attr_set(ctx, SCMP_FLTATR_CTL_OPTIMIZE, 2);
  // A call this architecture lacks cannot be added, nor made.
  for (const int call : deniedCalls) seccomp_rule_add(ctx, denied, call, 0);
  if (!keepsOpenSockets) {
    for (const int call : socketTraffic) seccomp_rule_add(ctx, denied, call, 0);
  }
  if (!leakChecked) {
    for (const int call : runningAndTracing) seccomp_rule_add(ctx, denied, call, 0);
  }
  for (const std::uint64_t flag : namespaceFlags) {
    seccomp_rule_add(ctx, denied, SCMP_SYS(clone), 1, argument(0, flag, flag));
  }
  // clone3's flags are in memory the filter cannot read; C libraries fall
  // back to clone on ENOSYS.
  seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
  // Typing into the terminal the process was started from. The kernel reads
  // the request as 32 bits, so the upper half must not hide it.
  for (const unsigned long request : {TIOCSTI, TIOCLINUX}) {
    seccomp_rule_add(ctx, denied, SCMP_SYS(ioctl), 1, argument(1, 0xFFFF'FFFFu, request));
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
  for (const bool keepsOpenSockets : {false, true}) {
    for (const bool leakChecked : {false, true}) {
      const std::vector<sock_filter> program = compile(keepsOpenSockets, leakChecked);
      if (program.empty()) {
        std::fprintf(stderr, "make_call_filters: libseccomp made no filter\n");
        return 1;
      }
      text += "constexpr sock_filter callFilter" + std::to_string(keepsOpenSockets) +
              std::to_string(leakChecked) + "[] = {\n";
      for (const sock_filter& op : program) {
        char line[64];
        std::snprintf(line, sizeof line, "    {0x%04x, %u, %u, 0x%08xu},\n", op.code, op.jt, op.jf,
                      op.k);
        text += line;
      }
      text += "};\n";
    }
  }
  text +=
      "// By whether sockets open stay usable, then whether LeakSanitizer checks at exit.\n"
      "constexpr std::span<const sock_filter> callFilters[2][2] = {\n"
      "    {callFilter00, callFilter01}, {callFilter10, callFilter11}};\n"
      "}  // namespace tamsel::detail\n";
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out || std::fputs(text.c_str(), out) < 0 || std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
