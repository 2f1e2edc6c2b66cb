// SPDX-License-Identifier: MIT
// The drawer program: a host starts it with one end of a socket pair at
// descriptor 3 and hands it documents over it, one after another, until it
// closes its end. See drawer/drawer.h.
#include <fcntl.h>
#include <sys/socket.h>

#include <cstdio>

#include "drawer/drawer.h"
#include "platform/confinement.h"
#include "render/font_setup.h"

int main() {
  using namespace tamsel;
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(drawerChannel, SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
      type != SOCK_STREAM) {
    std::fprintf(stderr, "tamsel-drawer: descriptor 3 must be a stream socket to the host\n");
    return 2;
  }
  ::fcntl(drawerChannel, F_SETFD, FD_CLOEXEC);
  // A drawer serves for as long as its host lives, past fontconfig's rescan
  // interval: its configuration files must stay readable.
  setUpFontConfig();
  keepFontAnswersForPages();
  becomeDrawer(fontConfigPaths(true));
  return serveDrawer();
}
