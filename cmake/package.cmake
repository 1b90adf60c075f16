# SPDX-License-Identifier: MIT
# The Debian packages: `cpack -G DEB` in a build folder makes two from the
# same install rules as `cmake --install`, under /usr, one per install
# component:
#   tavrest_VERSION-REVISION_ARCH.deb         (component programs) the programs,
#                                             their manual pages and completion
#   libtavrest-dev_VERSION-REVISION_ARCH.deb  (component dev) headers, archives,
#                                             tavrest.pc, the CMake package
# The library folder is GNUInstallDirs' choice for the configured prefix:
# configure with -DCMAKE_INSTALL_PREFIX=/usr to get Debian's multiarch folder
# (lib/x86_64-linux-gnu), as a package for /usr should.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)

set(TAVREST_DEB_MAINTAINER "tavrest developers <tavrest@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

# The Debian revision comes from the newest entry of the changelog the
# packages carry, whose upstream part must be the project's version.
set(debian_dir ${PROJECT_SOURCE_DIR}/packaging)
file(STRINGS ${debian_dir}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tavrest \\(([^)]+)-([^-)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line names no version with a revision")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL TAVREST_VERSION)
  message(FATAL_ERROR
          "packaging/changelog is for ${CMAKE_MATCH_1}, the project is ${TAVREST_VERSION}")
endif()
set(TAVREST_DEB_REVISION ${CMAKE_MATCH_2})

# What Debian wants in each package's doc folder, made at build time:
# the copyright, and the changelog compressed without name or time stamp.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E copy ${debian_dir}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${debian_dir}/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog})

# EXCLUDE_FROM_ALL: only in the packages (cpack installs component by
# component), not in a plain `cmake --install`.
foreach(component programs dev)
  if(component STREQUAL programs)
    set(package tavrest)
  else()
    set(package libtavrest-dev)
  endif()
  install(FILES ${debian_dir}/copyright ${changelog}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(EXISTS ${debian_dir}/${package}.lintian-overrides)
    install(FILES ${debian_dir}/${package}.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endforeach()
# The README, the format description and the example go with the library.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/qpk-format.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtavrest-dev
        COMPONENT dev EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/examples/qpk_text.c ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtavrest-dev/examples
        COMPONENT dev EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrest)
set(CPACK_PACKAGE_VERSION ${TAVREST_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVREST_DEB_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAVREST_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Executables only: CMake never strips static libraries.
set(CPACK_STRIP_FILES ON)

# One package per component, each with its own name, section and
# description (whose first line is the package's synopsis).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs dev)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME tavrest)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION graphics)
# Depends from what the programs really link, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION
    "convert Japanese fonts into packed one-bit glyph files
tavrest converts Japanese fonts (BDF, PCF, TrueType and OpenType; JIS X 0208,
JIS X 0201 and JIS X 0213, or Unicode) into a packed one-bit glyph file,
tavrest.qpk, and a TGA or BMP image of the whole glyph sheet.
.
tavrest-view shows what a packed glyph file or a font holds: glyph counts,
single glyphs and texts as text art, or the glyph sheet as a PNG picture.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtavrest-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
# What building against the archives needs: the headers include SDL's, and
# the archives call SDL, FreeType and zlib. A C program also links the C++
# runtime, whose link library comes with g++ but not with gcc: the package
# of the one the archives were built against.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsdl1.2-dev, libfreetype-dev, zlib1g-dev")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so
                OUTPUT_VARIABLE cxx_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
set(cxx_runtime_package "")
if(IS_ABSOLUTE "${cxx_runtime}")
  execute_process(COMMAND dpkg-query -S ${cxx_runtime} OUTPUT_VARIABLE cxx_runtime_package
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(cxx_runtime_package MATCHES "^(libstdc\\+\\+-[0-9]+-dev)[:,]")
  string(APPEND CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1} | libstdc++-dev")
endif()
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "pkg-config")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "Japanese text for SDL 1.2 programs - static libraries and headers
The font library draws Japanese text in Shift-JIS, EUC-JP, JIS or UTF-8
onto SDL 1.2 surfaces of any depth, with fonts loaded from BDF, PCF,
TrueType and OpenType files or from packed one-bit glyph files (.qpk).
.
This package holds its static libraries (position-independent), their
headers, the pkg-config file tavrest.pc and the CMake package
(find_package(tavrest)): the font library, the packed glyph file reader and
writer, the glyph sheet, and its TGA and BMP files. The documentation
describes the .qpk format and comes with an example program in C.")

include(CPack)
