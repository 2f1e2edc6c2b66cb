# SPDX-License-Identifier: MIT
# Warnings and sanitizers shared by every target of the project.

function(tamsel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(TAMSEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(TAMSEL_SANITIZE)
  set(_flags -fsanitize=${TAMSEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_flags})
  add_link_options(${_flags})
endif()
