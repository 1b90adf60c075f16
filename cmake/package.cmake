# The Debian package: `cpack -G DEB` in a build folder makes
# tavrest_VERSION_ARCH.deb from the same install rules as `cmake --install`,
# under /usr. The library folder is GNUInstallDirs' choice for the configured
# prefix: configure with -DCMAKE_INSTALL_PREFIX=/usr to get Debian's
# multiarch folder (lib/x86_64-linux-gnu), as a package for /usr should.
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)

set(TAVREST_DEB_MAINTAINER "tavrest developers <tavrest@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrest)
set(CPACK_PACKAGE_VERSION ${TAVREST_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVREST_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Japanese bitmap fonts to packed one-bit glyph files and glyph sheets")
# The summary makes the first line of the Description field, this the rest.
set(CPACK_PACKAGE_DESCRIPTION
    "tavrest converts Japanese BDF fonts (JIS X 0208 and JIS X 0201, or Unicode)
into a packed one-bit glyph file, tavrest.qpk, and a TGA or BMP image of the
whole glyph sheet. tavrest-view shows what a packed glyph file holds, as text
or PNG.
.
The package also holds the static libraries, their headers, and the
pkg-config and CMake package files for building SDL 1.2 programs that draw
Japanese text with these fonts.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends from what the binaries really link, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Only building against the libraries needs SDL's headers and pkg-config.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsdl1.2-dev, pkg-config")
# Executables only: CMake never strips static libraries.
set(CPACK_STRIP_FILES ON)

# Installed component by component, even as one package: a plain install
# would overwrite the build's install_manifest.txt with the package's files,
# and the uninstall by that manifest would then remove the wrong ones.
# Included last, so that every install rule's component is known here.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL_IN_ONE_PACKAGE ON)
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)

include(CPack)
