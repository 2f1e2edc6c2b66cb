// SPDX-License-Identifier: MIT
#include "platform/program_folder.h"

#include <unistd.h>

namespace tamsel {

std::string programFolder() {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  const std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace tamsel
