# SPDX-License-Identifier: MIT
# Files that name an installed program are generated at install time:
# `cmake --install --prefix P` must point them into P.

# tamsel_install_naming_program(TEMPLATE file.in DESTINATION dir
#                               VARIABLE name PROGRAM_DIR dir PROGRAM name)
# Installs TEMPLATE, less its .in, into DESTINATION with @VARIABLE@ set to
# the absolute installed path of PROGRAM in PROGRAM_DIR (both directories
# relative to the install prefix). Generated in a folder of the prefix's own,
# so that installs into several prefixes at once, as the integration tests
# make, never write the same file.
function(tamsel_install_naming_program)
  cmake_parse_arguments(ARG "" "TEMPLATE;DESTINATION;VARIABLE;PROGRAM_DIR;PROGRAM" "" ${ARGN})
  get_filename_component(_name ${ARG_TEMPLATE} NAME_WLE)
  install(CODE "
    set(_programDir [[${ARG_PROGRAM_DIR}]])
    cmake_path(ABSOLUTE_PATH _programDir BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\" NORMALIZE)
    set(${ARG_VARIABLE} \"\${_programDir}/${ARG_PROGRAM}\")
    string(MD5 _forPrefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(_generated \"${PROJECT_BINARY_DIR}/install/\${_forPrefix}/${_name}\")
    configure_file([[${ARG_TEMPLATE}]] \"\${_generated}\" @ONLY)
    set(_destination [[${ARG_DESTINATION}]])
    cmake_path(ABSOLUTE_PATH _destination BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\" NORMALIZE)
    file(INSTALL \"\${_generated}\" DESTINATION \"\${_destination}\")
  ")
endfunction()
