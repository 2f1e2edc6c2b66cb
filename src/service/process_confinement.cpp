// SPDX-License-Identifier: MIT
#include "service/process_confinement.h"

#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "platform/replacement_file.h"
#include "platform/unique_fd.h"
#include "service/cache/thumbnail_file.h"

namespace tamsel {
namespace {

using Access = Confinement::Access;

// The interpreter (dynamic loader) an ELF program names, if it names one.
std::optional<std::string> elfInterpreter(const std::string& program) {
  const UniqueFd fd(::open(program.c_str(), O_RDONLY | O_CLOEXEC));
  ElfW(Ehdr) header{};
  if (!fd || ::pread(fd.get(), &header, sizeof header, 0) != sizeof header ||
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_phentsize != sizeof(ElfW(Phdr))) {
    return std::nullopt;
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) part{};
    const auto at = static_cast<off_t>(header.e_phoff + i * sizeof part);
    if (::pread(fd.get(), &part, sizeof part, at) != sizeof part) return std::nullopt;
    if (part.p_type != PT_INTERP || part.p_filesz == 0 || part.p_filesz > 4096) continue;
    std::string path(part.p_filesz, '\0');
    if (::pread(fd.get(), path.data(), path.size(), static_cast<off_t>(part.p_offset)) !=
        static_cast<ssize_t>(path.size())) {
      return std::nullopt;
    }
    path.resize(path.find('\0'));
    return path;
  }
  return std::nullopt;
}

}  // namespace

Confinement thumbnailConfinement(const std::string& output, bool fillsInPlace) {
  return {
      .paths = {fillsInPlace ? Confinement::Path{output, Access::fill}
                             : Confinement::Path{replacementDirectory(output), Access::replaceIn}},
      .calls = Confinement::Calls::ownSockets};
}

Confinement skimConfinement() {
  return {.paths = {}, .calls = Confinement::Calls::ownSockets};
}

Confinement cacheConfinement(const std::string& cacheHome, const std::string& drawerProgram) {
  Confinement confinement{.paths = {{"/", Access::read},
                                    {thumbnailsRoot(cacheHome), Access::cache},
                                    {drawerProgram, Access::run}},
                          .calls = Confinement::Calls::startsDrawers};
  // The kernel opens a program's interpreter as it opens the program.
  if (auto interpreter = elfInterpreter(drawerProgram)) {
    confinement.paths.push_back({std::move(*interpreter), Access::run});
  }
  return confinement;
}

}  // namespace tamsel
