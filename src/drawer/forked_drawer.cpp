// SPDX-License-Identifier: MIT
// The drawer a host forks without running another program; apart from the
// client, so that hosts which only start the drawer program (the plugins)
// never link the code that draws.
#include <unistd.h>

#include <string>
#include <vector>

#include "drawer/drawer.h"
#include "drawer/drawer_client.h"
#include "render/font_setup.h"

namespace tamsel {
namespace {

[[noreturn]] void runForkedDrawer(bool fonts) {
  // The fonts are set up here rather than before the fork: memory the drawer
  // makes for itself costs nothing, where every page it changed of its
  // host's would be copied first.
  if (fonts) keepFontAnswersForPages();
  becomeDrawer(fonts ? fontConfigPaths(false) : std::vector<std::string>{});
  ::_exit(serveDrawer());
}

}  // namespace

DrawerClient DrawerClient::forked(bool fonts) {
  DrawerClient client;
  client.runForked_ = &runForkedDrawer;
  client.fonts_ = fonts;
  return client;
}

}  // namespace tamsel
