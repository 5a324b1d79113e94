# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Desktop integration, the manual page, and the Debian package.

install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.lumivane.Lumivane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog go compressed, and reproducibly so (no
# name or time in the gzip header), as Debian's policy asks. Made when CMake
# configures, so that installing or packaging needs no build step; an edit
# of either source configures again.
find_program(GZIP_PROGRAM gzip REQUIRED)
foreach(source lumivane.1 changelog)
    execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -c ${PROJECT_SOURCE_DIR}/data/${source}
                    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/${source}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/${source})
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumivane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Named after the package, not the project (GNUInstallDirs' DOCDIR would be
# doc/Lumivane).
set(LUMIVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/lumivane)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/data/copyright
              ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${LUMIVANE_DOCDIR})
# What the README links to, so that the installed copy has no dead links.
install(FILES ${PROJECT_SOURCE_DIR}/docs/lumivane.png ${PROJECT_SOURCE_DIR}/docs/lumivane-windows.png
              ${PROJECT_SOURCE_DIR}/docs/development.md ${PROJECT_SOURCE_DIR}/docs/performance.md
        DESTINATION ${LUMIVANE_DOCDIR}/docs)

set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR "lumivane.org")
set(CPACK_PACKAGE_CONTACT "Lumivane developers <dev@lumivane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# One paragraph, lines within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Lumivane starts the shows of a Zentrel show player, sets its brightness
and switches its output off, over an RS-232 serial line. Its window holds
the player's 128 numbered shows on four tab pages, a brightness slider and
an Off button. Show names are kept in a plain text file that can be loaded,
edited in a table and saved.")
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
