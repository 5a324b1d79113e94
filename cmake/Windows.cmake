# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# What only the Windows build of the program adds: one self-contained GUI
# executable with its icon and version information.

enable_language(RC)

set_target_properties(lumivane PROPERTIES OUTPUT_NAME Lumivane)

# Static Qt with FEATURE_static_runtime still leaves libgcc_s_seh-1.dll and
# libwinpthread-1.dll as imports; -static takes the compiler's runtime in too.
# Beside a shared Qt (Qt's installer) the runtime DLLs are deployed anyway.
get_target_property(qt_core_type Qt6::Core TYPE)
if(MINGW AND qt_core_type STREQUAL "STATIC_LIBRARY")
    target_link_options(lumivane PRIVATE -static)
    # The linker's record of every object it took in, from which
    # tools/windows-notices.py lists what the zip must give notice of.
    target_link_options(lumivane PRIVATE "LINKER:-Map=$<TARGET_FILE:lumivane>.map")
endif()

# The .ico is made from the SVG at build time with librsvg and ImageMagick
# (Debian's librsvg2-bin and imagemagick, or MSYS2's); a build without them,
# such as one in a plain Qt installation on Windows, gets no icon.
find_program(RSVG_CONVERT rsvg-convert)
if(CMAKE_HOST_WIN32)
    # Windows' own convert.exe converts file systems.
    find_program(IMAGEMAGICK_CONVERT magick)
else()
    find_program(IMAGEMAGICK_CONVERT NAMES magick convert)
endif()
set(rc ${PROJECT_SOURCE_DIR}/data/lumivane.rc)
set(rc_dir ${CMAKE_CURRENT_BINARY_DIR}/resources)
# A header rather than -D options: windres hands definitions with blanks to
# its preprocessor badly.
file(CONFIGURE OUTPUT ${rc_dir}/lumivane_version.h CONTENT [[
#define LUMIVANE_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define LUMIVANE_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define LUMIVANE_VERSION_PATCH @PROJECT_VERSION_PATCH@
#define LUMIVANE_VERSION_TEXT "@PROJECT_VERSION@"
#define LUMIVANE_DESCRIPTION "@PROJECT_DESCRIPTION@"
]] @ONLY)
target_sources(lumivane PRIVATE ${rc})
set_source_files_properties(${rc} TARGET_DIRECTORY lumivane PROPERTIES
    INCLUDE_DIRECTORIES ${rc_dir})
if(NOT RSVG_CONVERT OR NOT IMAGEMAGICK_CONVERT)
    message(WARNING "rsvg-convert or ImageMagick not found: Lumivane.exe gets no icon")
    set_source_files_properties(${rc} TARGET_DIRECTORY lumivane PROPERTIES
        COMPILE_DEFINITIONS LUMIVANE_NO_ICON)
    return()
endif()

# The sizes Explorer and the task bar ask for; the 256 one is kept as PNG
# inside the .ico.
set(icon_dir ${rc_dir})
set(icon_pngs)
foreach(size 16 24 32 48 64 256)
    list(APPEND icon_pngs ${icon_dir}/lumivane-${size}.png)
    add_custom_command(OUTPUT ${icon_dir}/lumivane-${size}.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${icon_dir}/lumivane-${size}.png
                ${PROJECT_SOURCE_DIR}/data/lumivane.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/data/lumivane.svg
        VERBATIM)
endforeach()
add_custom_command(OUTPUT ${icon_dir}/lumivane.ico
    COMMAND ${IMAGEMAGICK_CONVERT} ${icon_pngs} ${icon_dir}/lumivane.ico
    DEPENDS ${icon_pngs}
    VERBATIM)
add_custom_target(lumivane_icon DEPENDS ${icon_dir}/lumivane.ico)
add_dependencies(lumivane lumivane_icon)

set_source_files_properties(${rc} TARGET_DIRECTORY lumivane PROPERTIES
    OBJECT_DEPENDS ${icon_dir}/lumivane.ico)
