# The Debian package: `scripts/package` builds it with CPack. Its dependencies are read off the
# libraries the programs actually link (dpkg-shlibdeps), so they follow the build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmap)
set(CPACK_PACKAGE_VENDOR "Quillmap")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for RenderWare texture dictionaries")
# CPack puts the summary first; this is the extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillmap views and edits the texture dictionaries (.txd) of the PS2, PC, XBOX\nand mobile versions of RenderWare games: preview, export, replace, add,\nrename, convert and save, in a desktop window (quillmap) or on the command\nline (quillmap-cli). It also draws thumbnails of dictionaries for file\nmanagers.")
set(QUILLMAP_MAINTAINER "Quillmap developers <maintainers@users.noreply.github.com>" CACHE STRING
    "The maintainer named in the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLMAP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUILLMAP_HOMEPAGE})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_FILE_NAME quillmap)
include(CPack)
