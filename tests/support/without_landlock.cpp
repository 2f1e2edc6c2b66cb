// SPDX-License-Identifier: MIT
// Runs a program as on a kernel without Landlock: its Landlock calls fail
// with ENOSYS, as where the kernel lacks it or has it turned off.
//
//   without_landlock PROGRAM [ARGUMENTS...]
#include <seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  bool ok = filter != nullptr;
  for (const int call : {SCMP_SYS(landlock_create_ruleset), SCMP_SYS(landlock_add_rule),
                         SCMP_SYS(landlock_restrict_self)}) {
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), call, 0) == 0;
  }
  ok = ok && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && seccomp_load(filter) == 0;
  seccomp_release(filter);
  if (!ok) {
    std::fprintf(stderr, "without_landlock: cannot install the filter\n");
    return 2;
  }
  ::execvp(argv[1], argv + 1);
  std::perror(argv[1]);
  return 2;
}
