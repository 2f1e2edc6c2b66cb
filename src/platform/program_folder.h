// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace tamsel {

// The folder of the running program's executable, with a trailing "/", or
// empty when the kernel does not say (no /proc): what an installed program
// finds its own files from, whatever its prefix.
std::string programFolder();

}  // namespace tamsel
