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

Alternated with them, `lumivane --service` with no display, and the window
again, both with remote control and the browser panel on: from exec to a
text peer's `state` answered, then to a page's GET /api/state answered,
and the peak resident memory (VmHWM) then, the window's once it is mapped.

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

from run import page_state, peak_mib, private_settings, remote_on, state, without_display


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


def answered_ms(screen, argv, env, remote_port, web_port):
    """Exec to remote control's `state` answered, and to the browser panel's
    GET /api/state answered, asked next (ms); the peak resident memory then
    (MiB), a window's once it is mapped."""
    while screen.pending_events():
        screen.next_event()
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        state(proc, remote_port)
        text = (time.perf_counter() - start) * 1000
        page_state(proc, web_port)
        page = (time.perf_counter() - start) * 1000
        if "DISPLAY" in env:
            while screen.next_event().type != X.MapNotify:
                pass
        return text, page, peak_mib(proc.pid)
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
    more, remote_port, web_port = remote_on()
    remote_master, remote_config, remote_env = private_settings("xcb", more)
    answering = {"service": ([f"{build}/app/lumivane", "--service"], without_display(remote_env)),
                 "window": ([f"{build}/app/lumivane"], remote_env)}
    times = {name: [] for name in programs}
    answers = {name: [] for name in answering}
    for path in programs.values():
        for _ in range(3):
            first_map_ms(screen, [path], env)
    for argv, its_env in answering.values():
        for _ in range(3):
            answered_ms(screen, argv, its_env, remote_port, web_port)
    for _ in range(runs):
        for name, path in programs.items():
            times[name].append(first_map_ms(screen, [path], env))
        for name, (argv, its_env) in answering.items():
            answers[name].append(answered_ms(screen, argv, its_env, remote_port, web_port))
    screen.close()
    for fd, folder in ((master, config), (remote_master, remote_config)):
        os.close(fd)
        shutil.rmtree(folder, ignore_errors=True)
    t = {name: statistics.median(v) for name, v in times.items()}
    a = {name: [statistics.median(run[k] for run in v) for k in range(3)] for name, v in answers.items()}
    print(f"| Exec to first mapped window (ms, median of {runs}) | {t['lumivane']:.1f} | "
          f"{t['empty']:.1f} (empty QMainWindow) | ratio {t['lumivane'] / t['empty']:.2f} | |")
    print(f"| ... against a window with a menu and a line of text | {t['lumivane']:.1f} | "
          f"{t['text']:.1f} | ratio {t['lumivane'] / t['text']:.2f} | <= 1.2 |")
    service, window = a["service"], a["window"]
    print(f"| `lumivane --service`, no display: exec to remote control's `state` answered (ms, median of {runs}) | "
          f"{service[0]:.1f} | {t['lumivane']:.1f} (the window: exec to first mapped) | ratio {service[0] / t['lumivane']:.2f} | <= 1 |")
    print(f"| ... the window, remote control and the browser panel on: exec to `state` answered | {window[0]:.1f} | "
          f"{service[0]:.1f} (the service) | ratio {window[0] / service[0]:.2f} | |")
    print(f"| ... then GET /api/state answered (ms from exec): the service / the window | {service[1]:.1f} | "
          f"{window[1]:.1f} (the window) | | |")
    print(f"| `lumivane --service`: peak resident memory once answered (VmHWM, MiB, median of {runs}) | {service[2]:.2f} | "
          f"{window[2]:.2f} (the window, remote control and browser panel on, mapped) | {service[2] - window[2]:+.2f} MiB | < the window |")


if __name__ == "__main__":
    main()
