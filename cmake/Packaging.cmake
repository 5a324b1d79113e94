# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Desktop integration, the manual page, and the Debian package.

install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.lumivane.Lumivane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The service's unit, which runs /usr/bin/lumivane, where the package puts
# it. Debian 12 merges /lib into /usr/lib, and its lintian takes either
# folder; under the prefix, an install elsewhere (/opt) writes nothing
# outside it.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    install(FILES ${PROJECT_SOURCE_DIR}/data/lumivane.service DESTINATION lib/systemd/system)
endif()

# The manual page and the changelog go compressed, and reproducibly so (no
# name or time in the gzip header), as Debian's policy asks. The changelog is
# compressed when CMake configures, so that installing or packaging needs no
# build step for it; an edit configures again.
find_program(GZIP_PROGRAM gzip REQUIRED)
execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -c ${PROJECT_SOURCE_DIR}/data/changelog
                OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
                COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog)

# The manual page is the reference, docs/lumivane.1.md, made into roff when
# building. The program depends on it, so that building only lumivane before
# cpack (tools/package-test.sh) still has a page to install.
find_program(GO_MD2MAN_PROGRAM go-md2man)
if(NOT GO_MD2MAN_PROGRAM)
    message(FATAL_ERROR "go-md2man is missing: it makes the manual page from docs/lumivane.1.md. "
                        "On Debian: sudo apt-get install go-md2man")
endif()
add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/lumivane.1.gz
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/docs/lumivane.1.md
            -DCHANGELOG=${PROJECT_SOURCE_DIR}/data/changelog -DVERSION=${PROJECT_VERSION}
            -DGO_MD2MAN=${GO_MD2MAN_PROGRAM} -DGZIP=${GZIP_PROGRAM}
            -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/lumivane.1 -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/lumivane.1.md ${PROJECT_SOURCE_DIR}/data/changelog
            ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Making the manual page lumivane.1 from docs/lumivane.1.md"
    VERBATIM)
add_custom_target(manpage ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/lumivane.1.gz)
add_dependencies(lumivane manpage)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumivane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Named after the package, not the project (GNUInstallDirs' DOCDIR would be
# doc/Lumivane).
set(LUMIVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/lumivane)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/data/copyright
              ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${LUMIVANE_DOCDIR})
# What the README links to, so that the installed copy has no dead links.
install(FILES ${PROJECT_SOURCE_DIR}/docs/lumivane.png ${PROJECT_SOURCE_DIR}/docs/lumivane-windows.png
              ${PROJECT_SOURCE_DIR}/docs/browser-panel.png
              ${PROJECT_SOURCE_DIR}/docs/lumivane.1.md ${PROJECT_SOURCE_DIR}/docs/development.md
              ${PROJECT_SOURCE_DIR}/docs/performance.md
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
