# Desktop integration and the Debian package.

install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR "lumivane.org")
set(CPACK_PACKAGE_CONTACT "Lumivane developers <dev@lumivane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumivane starts the shows of a Zentrel show player, sets its brightness and switches its output off, over a serial line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumivane.org")
# The libraries the binary links come from dpkg-shlibdeps. Qt loads its
# platform plugin at run time, which no linker records: without it no window
# can open. The SVG plugin only draws the window icon, so it is a
# recommendation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6")
include(CPack)
