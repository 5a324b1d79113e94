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

bench:
	tools/bench.sh

fuzz:
	tools/fuzz.sh

valgrind:
	tools/valgrind-session.sh
