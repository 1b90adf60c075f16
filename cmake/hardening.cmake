# SPDX-License-Identifier: MIT
# Debian's hardening, as dpkg-buildflags gives it with every feature on
# (DEB_BUILD_MAINT_OPTIONS=hardening=+all: fortified functions, stack
# protector, format checks, RELRO and BIND_NOW), for the libraries and
# programs the packages hold: they are made from the same build. Its -g and
# -O2 are left to the build type, and its prefix map, made for the folder it
# runs in, is dropped. The sanitizer build keeps its own instrumentation.
option(TAVREST_HARDENING "Compile and link with dpkg-buildflags' hardening flags" ON)
find_program(TAVREST_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(TAVREST_DPKG_BUILDFLAGS)

function(tavrest_build_flags kind result)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${TAVREST_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-g$|^-O|prefix-map=")
  set(${result} ${flags} PARENT_SCOPE)
endfunction()

# tavrest_harden(TARGET...): compiles the targets, and links the programs
# among them, with those flags.
function(tavrest_harden)
  if(NOT TAVREST_HARDENING OR NOT TAVREST_DPKG_BUILDFLAGS OR CMAKE_CROSSCOMPILING
     OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    return()
  endif()
  tavrest_build_flags(CPPFLAGS cppflags)
  tavrest_build_flags(CXXFLAGS cxxflags)
  tavrest_build_flags(LDFLAGS ldflags)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE ${cppflags} ${cxxflags})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE ${ldflags})
    endif()
  endforeach()
endfunction()
