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
    run,        // read, and run the programs found there
    fill,       // write to and empty an existing file (a host's own empty file)
    replaceIn,  // a folder: rename a file made there over another, remove files
    cache,      // a folder: read, write, make and remove files and folders beneath it
  };
  struct Path {
    std::string path;
    Access access;
  };
  std::vector<Path> paths;
  // Which system calls stay open. No kind makes a new socket or connection,
  // runs a program (but the drawer program), traces, mounts or makes
  // namespaces.
  enum class Calls {
    // Everything else; sockets open at the time (a drawer's channel) stay
    // usable.
    ownSockets,
    // That, and starting drawers: socket pairs, and running the drawer
    // program.
    startsDrawers,
    // Only what a drawer makes while it draws, and socket traffic only on
    // drawerChannel: an allowlist. Opening a file for writing, renaming,
    // removing, linking, changing modes, owners, times or extended
    // attributes, truncating and signalling other processes all fail.
    drawing,
  };
  Calls calls = Calls::ownSockets;
};

// The descriptor a drawer talks to its host on; Calls::drawing allows socket
// traffic there alone.
constexpr int drawerChannel = 3;

// What confine() could put in place on this kernel.
struct ConfinementLevel {
  int landlockAbi = 0;  // 0: no Landlock (too old a kernel, or turned off)
  bool seccomp = false;
};

// Confines the calling process for the rest of its life and its children's:
// no_new_privs; Landlock (the highest ABI the kernel offers) allowing only
// `confinement.paths` on the file system, no TCP and, for a drawer from ABI
// 6, no signals or abstract sockets beyond its own domain (a front end must
// stop its drawer); a seccomp filter as
// `confinement.calls` says, failing the rest with EPERM (clone3 with ENOSYS,
// so that threads are made with clone, whose flags the filter can see). What
// the kernel lacks is left out, with one debug line (G_MESSAGES_DEBUG),
// never an error; the drawer's allowlist does not depend on Landlock, so it
// holds whatever ABI the kernel has.
//
// Landlock restricts the calling thread and the threads it starts after, so
// call this while the process has one thread. The seccomp filter covers
// every thread.
ConfinementLevel confine(const Confinement& confinement);

// What confine() would put in place on this kernel, without doing it.
ConfinementLevel availableConfinement();

// "landlock ABI 7, seccomp", "seccomp", or "none".
std::string describeConfinement(const ConfinementLevel& level);

}  // namespace tamsel
