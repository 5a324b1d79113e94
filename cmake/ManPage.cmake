# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Makes the manual page from the reference, which is written to be read on a
# forge too, and compresses it reproducibly.
#   cmake -DSOURCE=docs/lumivane.1.md -DCHANGELOG=data/changelog
#         -DVERSION=1.0.0 -DGO_MD2MAN=... -DGZIP=... -DOUTPUT=lumivane.1 -P ManPage.cmake

file(READ "${SOURCE}" text)
# Its licence header goes (go-md2man knows no HTML), and so does the heading
# that titles it on a forge: the page has a title line of its own.
string(REGEX REPLACE "^(<!--[^\n]*-->\n)+\n*(# [^\n]*\n)?\n*" "" text "${text}")
# The page is as old as the release: the date of the changelog's latest entry.
file(STRINGS "${CHANGELOG}" signed REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+ [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9]" date "${signed}")
file(WRITE "${OUTPUT}.md" "% LUMIVANE 1 \"${date}\" \"Lumivane ${VERSION}\" \"User Commands\"\n\n${text}")
execute_process(COMMAND "${GO_MD2MAN}" -in "${OUTPUT}.md" -out "${OUTPUT}" COMMAND_ERROR_IS_FATAL ANY)
# A table's last column takes the width left, so that its text wraps
# within the page.
file(READ "${OUTPUT}" page)
string(REGEX REPLACE "\n((l )*)l (\\.?)\n" "\n\\1lx \\3\n" page "${page}")
string(REGEX REPLACE "\n((l )*)l (\\.?)\n" "\n\\1lx \\3\n" page "${page}")
# Words such as operation/selectThenGo are not to be hyphenated; the title
# line, which comes after go-md2man's own .nh, turns hyphenation back on.
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
execute_process(COMMAND "${GZIP}" -9 -n -c "${OUTPUT}" OUTPUT_FILE "${OUTPUT}.gz" COMMAND_ERROR_IS_FATAL ANY)
