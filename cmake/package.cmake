# The Debian package: `scripts/package` builds it with CPack. Its dependencies are read off the
# libraries the programs actually link (dpkg-shlibdeps), so they follow the build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmap)
set(CPACK_PACKAGE_VENDOR "Quillmap")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for RenderWare texture dictionaries")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "editor for RenderWare texture dictionaries\n Quillmap views and edits the texture dictionaries (.txd) of the PS2, PC, XBOX\n and mobile versions of RenderWare games: preview, export, replace, add,\n rename, convert and save, in a desktop window (quillmap) or on the command\n line (quillmap-cli). It also draws thumbnails of dictionaries for file\n managers.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmap developers <quillmap@localhost.localdomain>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUILLMAP_HOMEPAGE})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_FILE_NAME quillmap)
include(CPack)
