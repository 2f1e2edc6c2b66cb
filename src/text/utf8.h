// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// `bytes` as well-formed UTF-8: each ill-formed sequence (a stray or
// truncated byte, an overlong form, a surrogate, beyond U+10FFFF) becomes
// one U+FFFD per maximal subpart, as Unicode recommends and ICU does, so all
// readers of a text show it alike. NUL bytes are well-formed and stay.
std::string repairedUtf8(std::string_view bytes);

}  // namespace tamsel
