# Shortcuts; each target does its own set-up on Debian 12.
.PHONY: run test test-sanitize ci

run:
	./run.sh

test:
	./test.sh

test-sanitize:
	./test.sh --sanitize

ci:
	sh .ci/run

.PHONY: wine-test
wine-test:
	tools/wine-test.sh
