# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Shortcuts; each target does its own set-up on Debian 12.
.PHONY: run test test-sanitize ci bench fuzz valgrind

run:
	./run.sh

test:
	./test.sh

test-sanitize:
	./test.sh --sanitize

ci:
	sh .ci/run

# Every file's copyright and licence, as the REUSE tool reads them.
.PHONY: licence-check
licence-check:
	tools/licence-check.sh

.PHONY: wine-test
wine-test:
	tools/wine-test.sh

# The serial link on real Linux drivers in a virtual machine.
.PHONY: vm-test
vm-test:
	tools/vm-test.sh

# Lumivane.exe for Windows (dist/lumivane-<version>-windows-x64.zip), built
# against a static Qt for mingw-w64 that the first run builds into the cache,
# and its end-to-end test under Wine.
.PHONY: windows wine-e2e windows-screenshot
windows:
	tools/windows.sh

wine-e2e:
	tools/wine-e2e.sh

windows-screenshot:
	tools/wine-e2e.sh --screenshot docs/lumivane-windows.png

# Lumivane against a simulated player, the end-to-end test on a virtual X
# server, the README's screenshot and the browser panel's, and the Debian
# package (left in dist/).
.PHONY: demo e2e screenshot browser-screenshot package

demo:
	tools/demo.sh

e2e:
	tools/e2e-test.sh

screenshot:
	tools/e2e-test.sh --screenshot docs/lumivane.png

browser-screenshot:
	tools/e2e-test.sh --browser-screenshot docs/browser-panel.png

package:
	tools/package-test.sh --keep dist

bench:
	tools/bench.sh

fuzz:
	tools/fuzz.sh

valgrind:
	tools/valgrind-session.sh
