#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""From exec to the first window mapped on the X server in DISPLAY.

    bench/mapped.py BUILD_DIR [RUNS]

The program itself (app/lumivane, as an operator starts it), an empty
QMainWindow (bench_emptywindow) and a window with a menu and a line of text
(bench_textwindow) alternated RUNS times (default 15) after
three warm-up runs each; the MapNotify of the first top-level window ends a
run, and the process is killed. Prints the medians and their ratio.

As in bench/run.py, every process gets a private XDG_CONFIG_HOME whose stored
port is a pseudo-terminal held open here, with no name file to ask about.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

from Xlib import X, display

from run import private_settings


def first_map_ms(screen, argv, env):
    while screen.pending_events():
        screen.next_event()
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while screen.next_event().type != X.MapNotify:
            pass
        return (time.perf_counter() - start) * 1000
    finally:
        proc.kill()
        proc.wait()
        screen.sync()


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    master, config, env = private_settings("xcb")
    programs = {"lumivane": f"{build}/app/lumivane", "empty": f"{build}/bench/bench_emptywindow",
                "text": f"{build}/bench/bench_textwindow"}
    # Held open throughout: the server resets when its last client leaves,
    # and refuses connections while it does.
    screen = display.Display()
    screen.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    screen.sync()
    times = {name: [] for name in programs}
    for path in programs.values():
        for _ in range(3):
            first_map_ms(screen, [path], env)
    for _ in range(runs):
        for name, path in programs.items():
            times[name].append(first_map_ms(screen, [path], env))
    screen.close()
    os.close(master)
    shutil.rmtree(config, ignore_errors=True)
    t = {name: statistics.median(v) for name, v in times.items()}
    print(f"| Exec to first mapped window (ms, median of {runs}) | {t['lumivane']:.1f} | "
          f"{t['empty']:.1f} (empty QMainWindow) | ratio {t['lumivane'] / t['empty']:.2f} | |")
    print(f"| ... against a window with a menu and a line of text | {t['lumivane']:.1f} | "
          f"{t['text']:.1f} | ratio {t['lumivane'] / t['text']:.2f} | <= 1.2 |")


if __name__ == "__main__":
    main()
