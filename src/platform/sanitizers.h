// SPDX-License-Identifier: MIT
#pragma once

// Which sanitizers this build runs under. GCC says so with __SANITIZE_*__
// macros, clang (and GCC 14) with __has_feature.
#if defined(__has_feature)
#define TAMSEL_HAS_FEATURE(name) __has_feature(name)
#else
#define TAMSEL_HAS_FEATURE(name) 0
#endif

namespace tamsel {

// LeakSanitizer, on its own or with AddressSanitizer, checks at exit.
inline constexpr bool leakChecked =
#if defined(__SANITIZE_ADDRESS__) || TAMSEL_HAS_FEATURE(address_sanitizer) || \
    TAMSEL_HAS_FEATURE(leak_sanitizer)
    true;
#else
    false;
#endif

// Any sanitizer at all.
inline constexpr bool sanitized =
#if defined(__SANITIZE_THREAD__) || TAMSEL_HAS_FEATURE(thread_sanitizer) || \
    TAMSEL_HAS_FEATURE(memory_sanitizer)
    true;
#else
    leakChecked;
#endif

}  // namespace tamsel

#undef TAMSEL_HAS_FEATURE
