#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Runs the benchmarks in a built tree and prints a results table.

    bench/run.py BUILD_DIR [RUNS]

Start-up and peak memory: bench_startup (the program as main.cpp starts it)
and bench_emptywindow (an empty QMainWindow), and bench_textwindow (a menu
and a line of text, the least any window with words pays), each a whole
process that ends
once its window is shown and idle, alternated RUNS times (default 30);
medians of wall time and of peak resident size (ru_maxrss). Then
bench_controller for click to wire and the slider's CPU time, and bench_line
for a drag, Off and a stalled line in front of a line read at 9600 baud
(medians of 7 runs), and bench_remote for a flood of OSC datagrams and
one of 8 KiB bundles, with and without a port, while a text peer asks
for the state, then a text peer that never reads its replies for 60 s;
bench_web for a page's command to the line beside a remote text line's, a
change to 16 event streams, and 32 idle connections (the longest event-loop
block while they come in, against the same span with none coming, then the
idle wake-ups and processor time with them open and with none, each phase
LUMIVANE_BENCH_IDLE_S seconds);
bench_timetable for a timetable's entries to the line and
the idle wake-ups with a week's timetable running and off (each phase
LUMIVANE_BENCH_IDLE_S seconds, default 20, scaled to a minute). Last,
`lumivane --service` with no display, a week's timetable, remote control
and the browser panel on, idle for LUMIVANE_BENCH_SERVICE_IDLE_S seconds
(default 180): the wake-ups of each of its threads and its processor time.

Every process gets a private XDG_CONFIG_HOME whose stored port is a
pseudo-terminal held open here, so nothing opens a real serial port; run it
through tests/isolate.sh (tools/bench.sh does) for a second guard.
"""
import datetime
import os
import pty
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

LINE_US = 5 * 10 / 9600 * 1e6  # five bytes of 8N1 at 9600 baud


def run_once(argv, env):
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed with {proc.returncode}")
    return wall * 1000, usage.ru_maxrss / 1024  # ms, MiB


def private_settings(platform, more=""):
    """A pseudo-terminal's master, held open, and a private folder whose
    settings store its slave as the port, with no name file to ask about,
    and then `more`; returns them with the environment that points a process
    there, its note of the port held included."""
    master, slave = pty.openpty()
    slave_path = os.ttyname(slave)
    os.close(slave)
    config = tempfile.mkdtemp(prefix="lumivane-bench-")
    os.makedirs(f"{config}/lumivane.org")
    with open(f"{config}/lumivane.org/Lumivane.conf", "w") as f:
        f.write(f"[General]\nserialPort={slave_path}\nlastFile=\n{more}")
    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_CACHE_HOME=config, XDG_DATA_HOME=config,
               LUMIVANE_LOCK_DIR=config, QT_QPA_PLATFORM=platform)
    return master, config, env


def remote_on():
    """Settings turning remote control and the browser panel on, each on a
    loopback port free now; returns them with the two ports."""
    held = [socket.socket() for _ in range(2)]
    for s in held:
        s.bind(("127.0.0.1", 0))
    remote, web = (s.getsockname()[1] for s in held)
    for s in held:
        s.close()
    return f"[remote]\nenabled=true\nport={remote}\n[web]\nenabled=true\nport={web}\n", remote, web


def without_display(env):
    """The service's environment: no display of any kind, as on a computer
    in a cabinet."""
    return {k: v for k, v in env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


def answer(proc, port, ask, whole, patience=10):
    """Connects to `port` on loopback, again every half millisecond until it
    accepts, sends `ask` and reads until `whole` says the answer is whole."""
    deadline = time.perf_counter() + patience
    while True:
        try:
            peer = socket.create_connection(("127.0.0.1", port))
            break
        except ConnectionRefusedError:
            if proc.poll() is not None or time.perf_counter() > deadline:
                sys.exit(f"nothing answered on port {port} (process ended: {proc.poll()})")
            time.sleep(0.0005)
    with peer:
        peer.settimeout(patience)
        peer.sendall(ask)
        got = b""
        while not whole(got):
            chunk = peer.recv(4096)
            if not chunk:
                break
            got += chunk
    return got


def state(proc, port):
    """Remote control's answer to a text peer's `state`."""
    got = answer(proc, port, b"state\n", lambda b: b"\n" in b)
    if not got.startswith(b"ok "):
        sys.exit(f"state was answered {got!r}")
    return got.decode().strip()


def page_state(proc, port):
    """The browser panel's answer to GET /api/state, as a page asks it."""
    def whole(got):
        head, sep, body = got.partition(b"\r\n\r\n")
        length = re.search(rb"(?im)^content-length: *(\d+)", head)
        return bool(sep) and (not length or len(body) >= int(length.group(1)))
    got = answer(proc, port, f"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode(), whole)
    if not got.startswith(b"HTTP/1.1 200"):
        sys.exit(f"GET /api/state was answered {got[:80]!r}")
    return got


def peak_mib(pid):
    """The process's peak resident size so far (VmHWM), MiB."""
    with open(f"/proc/{pid}/status") as f:
        return int(re.search(r"^VmHWM:\s*(\d+) kB", f.read(), re.M).group(1)) / 1024


def threads(pid):
    """Each thread's name, voluntary context switches (each one the thread
    going to sleep, so each after the first is a wake-up), involuntary ones
    and processor time (ns), by thread id."""
    seen = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                status = f.read()
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                ran_ns = int(f.read().split()[0])
        except FileNotFoundError:  # ended meanwhile
            continue
        field = lambda name: re.search(rf"^{name}:\s*(.*)$", status, re.M).group(1)
        seen[int(tid)] = (field("Name"), int(field("voluntary_ctxt_switches")),
                          int(field("nonvoluntary_ctxt_switches")), ran_ns)
    return seen


def a_week(now):
    """A week's timetable: eight entries a day at local times an hour or
    more from now, and on the days whose sunrise and sunset are a day or
    more away, one each; none is due within the next hour."""
    lines = ["# a week at the gallery", "location 52.52 13.405"]
    days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
    for d, day in enumerate(days):
        for k in range(8):
            at = now + datetime.timedelta(minutes=60 + 165 * k)
            action = (f"show {8 * d + k + 1}", f"brightness {10 * k + 20}", f"show {8 * d + k + 1}", "off")[k % 4]
            lines.append(f"{day} {at:%H:%M} {action}")
        if d not in (now.weekday(), (now.weekday() + 1) % 7):
            lines += [f"{day} sunrise-30 brightness 80", f"{day} sunset+15 show {100 + d}"]
    return "\n".join(lines) + "\n", sum(1 for line in lines if line[:3] in days)


def service_idle(build, seconds):
    """`lumivane --service` with no display, its port open, a week's
    timetable, remote control and the browser panel on, asked the state once
    each way and then left alone: each thread's wake-ups and the processor
    time over `seconds`, after 10 s to settle."""
    more, remote_port, web_port = remote_on()
    master, config, env = private_settings("", more)
    week, entries = a_week(datetime.datetime.now())
    with open(f"{config}/week.txt", "w") as f:
        f.write(week)
    with open(f"{config}/lumivane.org/Lumivane.conf", "a") as f:
        f.write(f"[timetable]\nenabled=true\nfile={config}/week.txt\n")
    with open(f"{config}/stderr", "w") as log:
        proc = subprocess.Popen([f"{build}/app/lumivane", "--service"], env=without_display(env),
                                stdout=subprocess.DEVNULL, stderr=log)
    try:
        reply = state(proc, remote_port)
        page_state(proc, web_port)
        due = re.search(r" next .* (\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d) ", reply)
        if "link Connected" not in reply or not due:
            sys.exit(f"the service's state: {reply}")
        time.sleep(10)
        before, start = threads(proc.pid), time.perf_counter()
        time.sleep(seconds)
        after, span = threads(proc.pid), time.perf_counter() - start
        wait = datetime.datetime.fromisoformat(due.group(1)) - datetime.datetime.now()
        if wait.total_seconds() < 0 or due.group(0) not in state(proc, remote_port):
            sys.exit(f"the timetable fired during the idle span: {reply}")
        proc.send_signal(signal.SIGTERM)
        if proc.wait(5) != 0:
            sys.exit(f"lumivane --service ended with {proc.returncode}: {open(f'{config}/stderr').read()}")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        os.close(master)
        shutil.rmtree(config, ignore_errors=True)
    per_min = 60 / span
    woke = {}
    for tid, (name, vol, invol, ran) in after.items():
        was = before.get(tid, (name, 0, 0, 0))
        woke[tid] = (name, vol - was[1], invol - was[2], ran - was[3])
    return {"entries": entries, "seconds": span, "threads": len(after), "gone": len(before.keys() - after.keys()),
            "wakeups_per_min": sum(w[1] for w in woke.values()) * per_min,
            "involuntary_per_min": sum(w[2] for w in woke.values()) * per_min,
            "cpu_ms_per_min": sum(w[3] for w in woke.values()) / 1e6 * per_min,
            "main_per_min": woke[proc.pid][1] * per_min,
            "each": ", ".join(f"{name} {vol}" for tid, (name, vol, _, _) in sorted(woke.items())),
            "next_h": wait.total_seconds() / 3600}


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    master, config, env = private_settings(os.environ.get("QT_QPA_PLATFORM", "offscreen"))

    programs = {"lumivane": f"{build}/bench/bench_startup",
                "empty": f"{build}/bench/bench_emptywindow",
                "text": f"{build}/bench/bench_textwindow"}
    times = {k: [] for k in programs}
    peaks = {k: [] for k in programs}
    for name, path in programs.items():  # warm the page cache
        for _ in range(3):
            run_once([path], env)
    for _ in range(runs):
        for name, path in programs.items():
            ms, mib = run_once([path], env)
            times[name].append(ms)
            peaks[name].append(mib)
    os.close(master)
    shutil.rmtree(config, ignore_errors=True)

    config = tempfile.mkdtemp(prefix="lumivane-bench-")  # the controller keeps its own settings
    env["XDG_CONFIG_HOME"] = env["XDG_CACHE_HOME"] = env["XDG_DATA_HOME"] = config
    out = subprocess.run([f"{build}/bench/bench_controller"], env=env, check=True,
                         capture_output=True, text=True).stdout
    out += subprocess.run([f"{build}/bench/bench_line", "7"], env=env, check=True,
                          capture_output=True, text=True).stdout
    out += subprocess.run([f"{build}/bench/bench_remote"], env=env, check=True,
                          capture_output=True, text=True).stdout
    out += subprocess.run([f"{build}/bench/bench_web", "2000", os.environ.get("LUMIVANE_BENCH_IDLE_S", "20")],
                          env=env, check=True, capture_output=True, text=True).stdout
    out += subprocess.run([f"{build}/bench/bench_timetable", os.environ.get("LUMIVANE_BENCH_IDLE_S", "20")],
                          env=env, check=True, capture_output=True, text=True).stdout
    out += subprocess.run([f"{build}/bench/bench_timetablecost"], env=env, check=True,
                          capture_output=True, text=True).stdout
    shutil.rmtree(config, ignore_errors=True)
    idle = service_idle(build, int(os.environ.get("LUMIVANE_BENCH_SERVICE_IDLE_S", "180")))
    c = {k: float(v) for k, v in (line.split() for line in out.splitlines())}

    t = {k: statistics.median(v) for k, v in times.items()}
    m = {k: statistics.median(v) for k, v in peaks.items()}
    share = c["drag_cpu_per_command_median_us"] / LINE_US * 100
    rows = [
        ("Start-up to shown and idle (ms, median of %d)" % runs, f"{t['lumivane']:.1f}",
         f"{t['empty']:.1f} (empty QMainWindow)", f"ratio {t['lumivane'] / t['empty']:.2f}", "<= 1.5"),
        ("Peak resident memory (MiB, median)", f"{m['lumivane']:.2f}",
         f"{m['empty']:.2f} (empty QMainWindow)", f"+{m['lumivane'] - m['empty']:.2f} MiB", "<= +5 MiB"),
        ("... the same two against a window with a menu and a line of text",
         f"{t['lumivane']:.1f} ms, {m['lumivane']:.2f} MiB", f"{t['text']:.1f} ms, {m['text']:.2f} MiB",
         f"ratio {t['lumivane'] / t['text']:.2f}, +{m['lumivane'] - m['text']:.2f} MiB", ""),
        ("Click to wire, press+release (us, median / p99 of %d)" % c["clicks"],
         f"{c['click_median_us']:.1f} / {c['click_p99_us']:.1f}",
         f"{c['write_median_us']:.1f} / {c['write_p99_us']:.1f} (bare write)",
         f"+{c['click_median_us'] - c['write_median_us']:.1f} us at median", "< +100 us"),
        ("Click to wire, from release (us, median / p99)",
         f"{c['release_median_us']:.1f} / {c['release_p99_us']:.1f}",
         f"{c['write_median_us']:.1f} / {c['write_p99_us']:.1f} (bare write)",
         f"+{c['release_median_us'] - c['write_median_us']:.1f} us at median", "< +100 us"),
        ("Click handled, from release: the window's work after the write too (us, median / p99)",
         f"{c['release_handled_median_us']:.1f} / {c['release_handled_p99_us']:.1f}",
         f"{c['release_median_us']:.1f} / {c['release_p99_us']:.1f} (from release to wire)",
         f"+{c['release_handled_median_us'] - c['release_median_us']:.1f} us at median", ""),
        ("Remote to wire, OSC datagram sent to bytes arrived (us, median / p99 of %d)" % c["clicks"],
         f"{c['remote_median_us']:.1f} / {c['remote_p99_us']:.1f}",
         f"{c['click_median_us']:.1f} / {c['click_p99_us']:.1f} (click to wire, same run)",
         f"{c['remote_median_us'] - c['click_median_us']:+.1f} us at median", "within 100 us of a click"),
        ("Slider drag, CPU per step (us, median of %d drags of 99 steps)" % c["drags"],
         f"{c['drag_cpu_per_command_median_us']:.2f}", f"{LINE_US:.0f} (line time at 9600 baud)",
         f"{share:.3f} % of line time", "< 1 %"),
    ]
    two = 2 * LINE_US / 1000
    for gap in (1, 4, 16):
        rows.append((f"Full drag, {gap} ms between motion events: final brightness arrives (ms after the last change, median of 7)",
                     f"{c[f'drag_{gap}ms_final_ms']:.1f}", f"{two:.1f} (two command times)", "",
                     f"<= {two + 2:.1f}"))
    rows.append(("Off at once after a 1 ms drag: Off arrives (ms after the click, median of 7)",
                 f"{c['off_after_drag_ms']:.1f}", f"{two:.1f} (two command times)", "", f"<= {two + 2:.1f}"))
    rows.append(("Stalled line, 15 presses of Up and Off in 0.5 s: longest event-loop block (ms, median of 7)",
                 f"{c['stall_loop_blocked_ms']:.1f}", "1 (heartbeat timer)",
                 "final state whole" if c["stall_final_state_whole"] else "final state NOT whole", "<= 20"))
    rows.append((f"Flood of {c['flood_datagrams']:.0f} OSC datagrams in {c['flood_seconds']:.1f} s: longest event-loop block (ms)",
                 f"{c['flood_loop_blocked_ms']:.1f}", "1 (heartbeat timer)",
                 "last command is the final state" if c["flood_final_state_ok"] else "final state NOT the last command",
                 "<= 20"))
    rows.append(("Same flood: resident memory growth (KiB)", f"{c['flood_rss_growth_kib']:.0f}", "0", "", "< 1024"))
    for key, what in (("bundles_port", "port open"), ("bundles_noport", "no port")):
        rows.append((f"Bundles of 8 KiB for 3 s ({c[key + '_bundles']:.0f}), {what}: text state answered within (ms, worst of {c[key + '_states']:.0f})",
                     f"{c[key + '_state_worst_ms']:.1f}", "10 (the peer's pause between asks)",
                     f"longest turn {c[key + '_loop_blocked_ms']:.1f} ms, {c[key + '_loop_blocked_cpu_ms']:.1f} ms of it processor time",
                     "<= 20"))
    rows.append((f"A text peer sending state for {c['nonreader_seconds']:.0f} s ({c['nonreader_bytes_sent'] / 1048576:.1f} MiB) and reading nothing: "
                 "resident memory growth, at the end / at most / 2 s after it stopped (KiB)",
                 f"{c['nonreader_rss_growth_kib']:.0f} / {c['nonreader_rss_peak_growth_kib']:.0f} / {c['nonreader_rss_after_kib']:.0f}",
                 "0", "", "<= 2048"))
    rows.append((f"Meanwhile: another peer's state answered within (ms, worst of {c['nonreader_states']:.0f})",
                 f"{c['nonreader_state_worst_ms']:.1f}", "10 (the peer's pause between asks)", "", "<= 20"))
    rows.append((f"Page to wire, POST /api/command show N on a kept-alive connection to bytes arrived (us, median / p95 of {c['web_commands']:.0f})",
                 f"{c['web_page_command_median_us']:.1f} / {c['web_page_command_p95_us']:.1f}",
                 f"{c['web_text_command_median_us']:.1f} / {c['web_text_command_p95_us']:.1f} (remote text line, same run)",
                 f"{c['web_page_command_median_us'] - c['web_text_command_median_us']:+.1f} us at median",
                 "within 1 ms of the text line"))
    rows.append((f"A change to {c['web_streams']:.0f} event streams: remote show N written to its event on the last stream "
                 f"(ms, median / p95 of {c['web_stream_changes']:.0f})",
                 f"{c['web_stream_last_median_ms']:.2f} / {c['web_stream_last_p95_ms']:.2f}",
                 f"{c['web_stream_wire_median_ms']:.2f} (its bytes on the line)", "", "<= 10"))
    rows.append((f"{c['web_idlers']:.0f} connections to the browser panel come in, ask the state once and fall silent: "
                 "longest event-loop block (ms)",
                 f"{c['web_idlers_loop_blocked_ms']:.1f}",
                 f"{c['web_quiet_loop_blocked_ms']:.1f} (the same 3 s, none coming; heartbeat 1 ms)",
                 f"most processor time in one turn {c['web_idlers_loop_blocked_cpu_ms']:.1f} ms "
                 f"({c['web_quiet_loop_blocked_cpu_ms']:.1f} ms none coming)", "<= 5"))
    rows.append((f"Idle wake-ups of the main thread per minute, {c['web_idlers']:.0f} of them open (over {c['web_idle_seconds']:.0f} s, scaled; "
                 "processor time, ms per minute)",
                 f"{c['web_idle_open_wakeups_per_min']:.1f} ({c['web_idle_open_cpu_ms_per_min']:.2f} ms)",
                 f"{c['web_idle_none_wakeups_per_min']:.1f} ({c['web_idle_none_cpu_ms_per_min']:.2f} ms), none open",
                 f"{c['web_idlers_still_open']:.0f} of {c['web_idlers']:.0f} still open at the end",
                 "<= 1 more than none open"))
    rows.append((f"Timetable: entry's instant to its bytes readable (ms, median / worst of {c['timetable_entries']:.0f} entries 1 s apart)",
                 f"{c['timetable_late_median_ms']:.1f} / {c['timetable_late_worst_ms']:.1f}",
                 "0 (the entry's instant)", "", "<= 20"))
    rows.append((f"Idle wake-ups of the main thread per minute, a week's timetable running (over {c['idle_seconds']:.0f} s, scaled)",
                 f"{c['idle_on_wakeups_per_min']:.1f} ({c['idle_on_timer_events_per_min']:.1f} timer events; "
                 f"its timer set {c['idle_on_timetable_wait_s']:.0f} s ahead)",
                 f"{c['idle_off_wakeups_per_min']:.1f} ({c['idle_off_timer_events_per_min']:.1f} timer events), timetable off",
                 "", "<= 1 more than off"))
    for key, what in (("sun_pole", "daily sunrise+N at 89.9 N"), ("sun_tromso", "daily sunset-N at Tromsø"),
                      ("clock", "daily HH:MM:SS"), ("dates", "one date each")):
        rows.append((f"Timetable, 1,000 entries {what}: longest one step holds the thread (ms; in force with catch-up, "
                     "each occurrence through a night, clock set 16 h forward and back)",
                     f"{c['timetable_step_worst_ms_' + key]:.1f}", "", "", "<= 20"))
    rows.append((f"`lumivane --service` idle with a week's timetable ({idle['entries']} entries), its port open, remote control "
                 f"and the browser panel on: wake-ups per minute, all its threads (over {idle['seconds']:.0f} s; processor time, ms per minute)",
                 f"{idle['wakeups_per_min']:.1f} ({idle['cpu_ms_per_min']:.2f} ms)",
                 "1 (the timetable's timer, set at most a minute ahead)",
                 f"{idle['threads']} threads; the main thread {idle['main_per_min']:.1f} a minute", "<= 1"))
    print("| Measure | Lumivane | Floor | Ratio / overhead | Target |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print(f"\nflood: {c['flood_kernel_drops']:.0f} datagrams dropped by the kernel, "
          f"the sender waited {c['flood_sender_waits']:.0f} times for the receive queue")
    print(f"service idle over {idle['seconds']:.0f} s: wake-ups by thread {idle['each']}; "
          f"{idle['involuntary_per_min']:.1f} involuntary switches a minute; {idle['gone']} threads ended; "
          f"its next entry {idle['next_h']:.1f} h ahead")
    print(f"bare write() CPU per command: {c['write_cpu_per_command_median_us']:.2f} us; "
          f"start-up ms lumivane {min(times['lumivane']):.1f}..{max(times['lumivane']):.1f}, "
          f"empty {min(times['empty']):.1f}..{max(times['empty']):.1f}")


if __name__ == "__main__":
    main()
