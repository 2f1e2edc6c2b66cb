// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace tamsel {

// What a process may still reach once it has confined itself. Paths that do
// not exist (a user font folder never made) are passed over; a symbolic link
// stands for what it names when confine() runs.
struct Confinement {
  enum class Access {
    read,       // a file, or every file and folder beneath a folder
    fill,       // write to and empty an existing file (a host's own empty file)
    replaceIn,  // a folder: rename a file made there over another, remove files
    cache,      // a folder: read, write, make and remove files and folders beneath it
  };
  struct Path {
    std::string path;
    Access access;
  };
  std::vector<Path> paths;
  // Whether sockets open at the time (the session bus) stay usable for
  // sending and receiving. No new socket or connection is allowed either way.
  bool keepsOpenSockets = false;
};

// What confine() could put in place on this kernel.
struct ConfinementLevel {
  int landlockAbi = 0;  // 0: no Landlock (too old a kernel, or turned off)
  bool seccomp = false;
};

// Confines the calling process for the rest of its life and its children's:
// no_new_privs; Landlock (the highest ABI the kernel offers) allowing only
// `confinement.paths` on the file system and no TCP; a seccomp filter that
// makes new sockets and connections, execve, ptrace, mount, namespaces,
// keyrings, BPF, io_uring, module loading and terminal input injection fail
// with EPERM (clone3 with ENOSYS, so that threads are made with clone, whose
// flags the filter can see). What the kernel lacks is left out, with one
// debug line (G_MESSAGES_DEBUG), never an error.
//
// Landlock restricts the calling thread and the threads it starts after, so
// call this while the process has one thread. The seccomp filter covers
// every thread.
ConfinementLevel confine(const Confinement& confinement);

// The two halves of confine(), for a process that must act in between: the
// resident service connects to its bus after Landlock, while it has one
// thread, and before seccomp, which allows no new socket. Each says in one
// debug line when the kernel lacks it.
int confineFileSystem(const Confinement& confinement);  // the Landlock ABI in force, or 0
bool confineCalls(const Confinement& confinement);      // whether the filter is in place

// What confine() would put in place on this kernel, without doing it.
ConfinementLevel availableConfinement();

// "landlock ABI 7, seccomp", "seccomp", or "none".
std::string describeConfinement(const ConfinementLevel& level);

}  // namespace tamsel
