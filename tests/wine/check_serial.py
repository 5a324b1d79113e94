#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The Linux side of the Wine test of the Win32 serial back end.

Each case gives serialprobe.exe (the real SerialPort, cross-compiled) a fresh
pseudo-terminal as COM1, then reads the bytes that reached the master side and
the line settings that Wine left on the slave. Run it through tools/wine-test.sh,
which builds the probe and covers the machine's real serial ports first.

Wine maps COM1 through HKLM\\Software\\Wine\\Ports to a fixed symlink of our
own, and the symlink is aimed at each case's slave. The dosdevices/com1 link
is not used directly: Wine rewrites it whenever its server starts. COM2 is
mapped the same way to a symlink that is never made: a port whose terminal
is not there.
"""

import argparse
import fcntl
import os
import select
import subprocess
import sys
import termios
import time

IFLAG, OFLAG, CFLAG, LFLAG, ISPEED, OSPEED = range(6)

ERROR_FILE_NOT_FOUND = 2
ERROR_NOT_READY = 21
ERROR_INVALID_NAME = 123
ERROR_TIMEOUT = 1460


class Abort(Exception):
    """A failure after which the remaining cases would prove nothing."""


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   - {what}")
        else:
            self.failed += 1
            print(f"FAIL - {what}" + (f": {detail}" if detail else ""))
        return ok


class Wine:
    def __init__(self, exe, workdir):
        self.exe = exe
        self.prefix = os.path.join(workdir, "prefix")
        self.link = os.path.join(workdir, "com1")
        self.missing = os.path.join(workdir, "com2")
        self.out = os.path.join(workdir, "probe.out")
        self.env = dict(os.environ)
        for var in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(var, None)
        # Debian's Wine keeps its server socket in a new $TMPDIR/wine-XXXXXX
        # each time and never removes it: keep those inside the work folder.
        tmp = os.path.join(workdir, "tmp")
        os.makedirs(tmp, exist_ok=True)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", TMPDIR=tmp,
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")

    def _quiet(self, args, timeout=180):
        # Output goes to a file, never a pipe: a server started here inherits
        # it and would hold a pipe open long after the command ended.
        with open(self.out, "w") as log:
            r = subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT, timeout=timeout)
        if r.returncode != 0:
            raise RuntimeError(f"{' '.join(args)} exited {r.returncode}: {self.read_out()}")

    def read_out(self):
        with open(self.out, errors="replace") as f:
            return f.read()

    def setup(self):
        for port, link in (("COM1", self.link), ("COM2", self.missing)):
            self._quiet(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", port,
                         "/t", "REG_SZ", "/d", link, "/f"])
        # The mapping is read when the server starts: wait for this one to go.
        self._quiet(["wineserver", "-w"])
        # One persistent server for all cases, so the mapping is made once.
        self._quiet(["wineserver", "-p"])
        self.run([])

    def com_link(self, n):
        path = os.path.join(self.prefix, "dosdevices", f"com{n}")
        return os.readlink(path) if os.path.islink(path) else None

    def run(self, args, timeout=60):
        """Runs the probe; returns (exit code, parsed lines, seconds)."""
        start = time.monotonic()
        with open(self.out, "w") as log:
            r = subprocess.run(["wine", self.exe] + args, env=self.env,
                               stdin=subprocess.DEVNULL, stdout=log,
                               stderr=subprocess.STDOUT, timeout=timeout)
        elapsed = time.monotonic() - start
        return r.returncode, parse(self.read_out()), elapsed

    def run_paused(self, args, between, timeout=60):
        """Runs the probe up to its "wait" call, calls between(), lets it go on."""
        with open(self.out, "w") as log:
            p = subprocess.Popen(["wine", self.exe] + args, env=self.env, stdin=subprocess.PIPE,
                                 stdout=log, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + timeout
            while not any(c["call"] == "wait" for c in parse(self.read_out())):
                if p.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError(f"the probe never reached its wait: {self.read_out()!r}")
                time.sleep(0.1)
            between()
            p.stdin.write(b"\n")
            p.stdin.close()
            rc = p.wait(timeout=timeout)
        finally:
            if p.poll() is None:
                p.kill()
        return rc, [c for c in parse(self.read_out()) if c["call"] != "wait"]

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def parse(text):
    """'open 0 open=1 reason=None error=0' -> {'call': 'open', 'rc': 0, 'open': 1, ...}"""
    calls = []
    for line in text.splitlines():
        words = line.rstrip("\r").split(" ")
        if words[0] == "path":
            calls.append({"call": "path", "len": int(words[1]), "path": " ".join(words[2:])})
        elif words[0] in ("present", "wait"):
            calls.append({"call": words[0], "rc": int(words[1]) if len(words) > 1 else None})
        elif words[0] in ("open", "write", "writesome", "still", "close"):
            entry = {"call": words[0]}
            rest = words[1:]
            if words[0] != "close":
                entry["rc"] = int(rest.pop(0))
            for word in rest:
                key, _, value = word.partition("=")
                entry[key] = value
            entry["open"] = int(entry.get("open", -1))
            entry["error"] = int(entry.get("error", -1))
            calls.append(entry)
        # anything else (a stray Wine message) is left for the failure report
    return calls


class Line:
    """A fresh pseudo-terminal; the slave stays open so Wine's close never hangs it up."""

    def __init__(self, wine):
        self.master, self.slave = os.openpty()
        tmp = wine.link + ".new"
        os.symlink(os.ttyname(self.slave), tmp)
        os.replace(tmp, wine.link)

    def attrs(self):
        return termios.tcgetattr(self.slave)

    def drain(self):
        data = b""
        while select.select([self.master], [], [], 0.3)[0]:
            chunk = os.read(self.master, 65536)
            if not chunk:
                break
            data += chunk
        return data

    def fill(self):
        """Fills the slave-to-master buffer so that the next write cannot go through."""
        a = self.attrs()
        a[OFLAG] &= ~termios.OPOST
        termios.tcsetattr(self.slave, termios.TCSANOW, a)
        flags = fcntl.fcntl(self.slave, fcntl.F_GETFL)
        fcntl.fcntl(self.slave, fcntl.F_SETFL, flags | os.O_NONBLOCK)
        # The kernel moves bytes on to the master's line discipline in the
        # background, freeing room after a write first says EAGAIN; only a
        # round that adds nothing after a pause shows the line is full.
        total = 0
        for _ in range(100):
            added = 0
            for size in (4096, 1):  # the last bytes only fit one at a time
                try:
                    while True:
                        added += os.write(self.slave, b"." * size)
                except BlockingIOError:
                    pass
            total += added
            if added == 0:
                break
            time.sleep(0.1)
        fcntl.fcntl(self.slave, fcntl.F_SETFL, flags)
        return total

    def close(self):
        """Both ends: the terminal goes once nobody else holds its slave."""
        os.close(self.master)
        os.close(self.slave)


def speed_name(code):
    for name in ("B9600", "B19200", "B38400"):
        if getattr(termios, name) == code:
            return name
    return str(code)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--exe", required=True, help="serialprobe.exe")
    ap.add_argument("--workdir", required=True, help="empty folder for the prefix and links")
    opts = ap.parse_args()

    if not os.environ.get("LUMIVANE_ISOLATED"):
        print("note: not in a private mount namespace; the real serial ports are not covered")

    t = Results()
    wine = Wine(os.path.abspath(opts.exe), opts.workdir)
    try:
        wine.setup()
        run_cases(t, wine)
    except Abort:
        pass
    except Exception as e:  # a hang, a crash or output that did not parse
        t.check(False, "the test ran to the end", f"{type(e).__name__}: {e}")
    finally:
        wine.stop()
    print(f"{t.passed} passed, {t.failed} failed")
    return 0 if t.failed == 0 else 1


def probe(t, wine, line, args, label, **kw):
    rc, calls, elapsed = wine.run(args, **kw)
    data = line.drain()
    if not t.check(rc == 0, f"{label}: probe ran to the end", f"exit {rc}, output {wine.read_out()!r}"):
        raise Abort()
    return calls, data, elapsed


def run_cases(t, wine):
    # Everything below relies on COM1 being our pseudo-terminal: stop at once
    # if it is not, whatever else would pass.
    if not t.check(wine.com_link(1) == wine.link, "COM1 is mapped to the test's pseudo-terminal",
                   f"dosdevices/com1 -> {wine.com_link(1)}"):
        raise Abort()
    if wine.com_link(42) is not None:
        raise RuntimeError("COM42 unexpectedly exists in the prefix")

    # -- the controller's settings, and what arrives --
    line = Line(wine)
    a = line.attrs()
    t.check(a[ISPEED] == termios.B38400 and a[IFLAG] & termios.IXON,
            "a new pseudo-terminal starts at 38400 with IXON on (so a change proves itself)")
    calls, data, _ = probe(t, wine, line, ["open", "COM1", "9600", "8", "1", "0",
                                           "write", "X0100", "close"], "9600 8N1")
    a = line.attrs()
    line.close()
    t.check(calls[0]["rc"] == 0 and calls[0]["open"] == 1, "open(COM1, 9600, 8, 1, 0) returns 0", calls[0])
    t.check(calls[1]["rc"] == 1, "write(X0100) reports success", calls[1])
    t.check(data == b"X0100", "exactly the five bytes X0100 arrived", repr(data))
    t.check(a[ISPEED] == termios.B9600 and a[OSPEED] == termios.B9600,
            "line reads back 9600 baud in both directions",
            f"in {speed_name(a[ISPEED])}, out {speed_name(a[OSPEED])}")
    t.check(not a[CFLAG] & termios.CSTOPB, "one stop bit (CSTOPB off)")
    t.check(not a[CFLAG] & termios.CRTSCTS, "no hardware flow control (CRTSCTS off)")
    t.check(not a[IFLAG] & (termios.IXON | termios.IXOFF), "no XON/XOFF (IXON and IXOFF off)",
            hex(a[IFLAG]))
    t.check(calls[2]["open"] == 0, "close() leaves the port closed", calls[2])

    # -- bytes a cooked line would change: LF (-> CR LF), CR, XOFF, XON --
    text = b"L1\n\x13\r\x11Z"
    line = Line(wine)
    calls, data, _ = probe(t, wine, line, ["open", "COM1", "9600", "8", "1", "0",
                                           "writehex", text.hex(), "close"], "control bytes")
    line.close()
    t.check(calls[0]["rc"] == 0 and calls[1]["rc"] == 1, "open and write of a text with LF and 0x13 succeed", calls)
    t.check(data == text, "LF, CR, 0x13 and 0x11 arrive unchanged", repr(data))

    # -- two stop bits --
    line = Line(wine)
    calls, _, _ = probe(t, wine, line, ["open", "COM1", "9600", "8", "2", "0"], "9600 8N2")
    a = line.attrs()
    line.close()
    t.check(calls[0]["rc"] == 0, "open(COM1, 9600, 8, 2, 0) returns 0", calls[0])
    t.check(a[CFLAG] & termios.CSTOPB and a[OSPEED] == termios.B9600,
            "two stop bits requested: CSTOPB on, still 9600 baud", hex(a[CFLAG]))

    # -- even parity, another rate. A Linux pseudo-terminal forces CS8 and
    # clears PARENB whatever is asked (pty_set_termios), so data bits and
    # parity cannot be read back; Wine also switches on input parity checking
    # (INPCK) for any parity, and that one is kept.
    line = Line(wine)
    calls, _, _ = probe(t, wine, line, ["open", "COM1", "19200", "8", "1", "1"], "19200 8E1")
    a = line.attrs()
    line.close()
    t.check(calls[0]["rc"] == 0, "open(COM1, 19200, 8, 1, 1) returns 0", calls[0])
    t.check(a[ISPEED] == termios.B19200 and a[OSPEED] == termios.B19200,
            "the rate asked for is applied (19200 both ways)", speed_name(a[OSPEED]))
    t.check(a[IFLAG] & termios.INPCK and not a[CFLAG] & termios.CSTOPB,
            "even parity requested: INPCK on, one stop bit", f"iflag {a[IFLAG]:#x}")

    # -- a port that does not exist; close() and write() after that --
    line = Line(wine)
    calls, data, _ = probe(t, wine, line, ["open", "COM42", "9600", "8", "1", "0",
                                           "close", "close", "write", "X0100"], "no such port")
    line.close()
    failed, closed, _, written = calls
    t.check(failed["rc"] == -1 and failed["open"] == 0, "open(COM42) fails with -1 and no handle", failed)
    t.check(failed["reason"] == "NoDevice" and failed["error"] == ERROR_FILE_NOT_FOUND,
            "  ... classified NoDevice (ERROR_FILE_NOT_FOUND)", failed)
    t.check(closed["open"] == 0 and closed["reason"] == "NoDevice",
            "close() after a failed open (twice) does nothing", closed)
    t.check(written["rc"] == 0 and written["reason"] == "NoDevice" and data == b"",
            "write() after a failed open sends nothing and keeps the reason", (written, data))

    # -- failures after the device was opened close it again --
    line = Line(wine)
    calls, data, _ = probe(t, wine, line, ["open", "COM1", "9600", "8", "3", "0",
                                           "write", "X0100"], "bad line definition")
    a = line.attrs()
    line.close()
    t.check(calls[0]["rc"] == -4 and calls[0]["open"] == 0,
            "3 stop bits: -4 (line definition refused), handle closed", calls[0])
    t.check(calls[1]["rc"] == 0 and data == b"", "  ... and a later write sends nothing", (calls[1], data))
    t.check(a[ISPEED] == termios.B38400, "  ... and the line settings were left alone", speed_name(a[ISPEED]))

    line = Line(wine)
    calls, _, _ = probe(t, wine, line, ["open", "NUL", "9600", "8", "1", "0"], "not a serial device")
    line.close()
    t.check(calls[0]["rc"] == -2 and calls[0]["open"] == 0 and calls[0]["reason"] == "NotSerial",
            "the NUL device opens but is refused: -2, NotSerial, handle closed", calls[0])

    # -- names: 4 characters of prefix plus the name must fit in 199 --
    longest, too_long = "C" * 195, "C" * 196
    line = Line(wine)
    calls, data, _ = probe(t, wine, line, [
        "path", "COM1", "path", "COM10", "path", longest, "path", too_long, "path", "",
        "open", too_long, "9600", "8", "1", "0",
        "open", "C" * 5000, "9600", "8", "1", "0",
        "open", "", "9600", "8", "1", "0",
        "open", "@null", "9600", "8", "1", "0",
        "open", longest, "9600", "8", "1", "0"], "names")
    line.close()
    paths, opens = calls[:5], calls[5:]
    t.check(paths[0]["path"] == r"\\.\COM1" and paths[1]["path"] == r"\\.\COM10",
            r"device path is \\.\ and the name (COM1, COM10)", paths[:2])
    t.check(paths[2]["len"] == 199 and paths[3]["len"] == 0 and paths[4]["len"] == 0,
            "a 195-character name fits, a 196-character or empty one is refused",
            [p["len"] for p in paths[2:]])
    t.check(all(o["rc"] == -1 and o["open"] == 0 for o in opens) and len(opens) == 5,
            "names too long (196, 5000), empty or null fail safely with -1", opens)
    t.check(opens[0]["reason"] == "NoDevice" and opens[0]["error"] == ERROR_INVALID_NAME,
            "  ... a refused name is classified NoDevice (ERROR_INVALID_NAME)", opens[0])
    t.check(data == b"", "  ... and nothing reached COM1", repr(data))

    # -- a write that cannot go through gives up instead of blocking --
    line = Line(wine)
    queued = line.fill()
    calls, data, elapsed = probe(t, wine, line, ["open", "COM1", "9600", "8", "1", "0",
                                                 "write", "X0100", "writesome", "X0100", "still"],
                                 "stuck line", timeout=30)
    line.close()
    t.check(calls[1]["rc"] == 0 and calls[1]["error"] == ERROR_TIMEOUT,
            "write on a line that takes nothing returns false with ERROR_TIMEOUT", calls[1])
    t.check(len(calls) > 2 and calls[2]["rc"] == 0 and calls[2]["open"] == 1,
            "  ... writeSome takes nothing there, which is no failure", calls[2:])
    t.check(len(calls) > 3 and calls[3]["rc"] == 1,
            "  ... and stillConnected() holds: a stall is no lost device", calls[3:])
    t.check(elapsed < 15 and len(data) >= queued,
            f"  ... within the time-out (probe took {elapsed:.1f} s)", f"{len(data)} of {queued} bytes read")


    # -- presence without opening, a terminal that hangs up, a new one --
    line = Line(wine)
    calls, data, _ = probe(t, wine, line, ["present", "COM1", "present", "COM2", "present", "COM42",
                                           "open", "COM2", "9600", "8", "1", "0"], "presence")
    t.check([c["rc"] for c in calls[:3]] == [1, 0, 0],
            "present(): COM1 with its terminal yes; COM2 mapped to no terminal, COM42 unmapped, no",
            calls[:3])
    t.check(calls[3]["rc"] == -1 and calls[3]["reason"] == "NoDevice",
            "  ... opening COM2 there fails as NoDevice", calls[3])
    rc, calls = wine.run_paused(["open", "COM1", "9600", "8", "1", "0", "still", "wait", "still",
                                 "writesome", "X0100", "close", "present", "COM1"], line.close)
    t.check(rc == 0 and [c["call"] for c in calls] == ["open", "still", "still", "writesome", "close", "present"],
            "hang-up: probe ran to the end", f"exit {rc}, output {wine.read_out()!r}")
    if len(calls) == 6:
        opened, before, after, written, _, gone = calls
        t.check(opened["rc"] == 0 and before["rc"] == 1, "stillConnected() holds on a live line", (opened, before))
        t.check(after["rc"] == 0 and after["reason"] == "NoDevice" and after["error"] == ERROR_NOT_READY,
                "  ... and turns false once the terminal hangs up (NoDevice, ERROR_NOT_READY)", after)
        t.check(written["rc"] == -1 and written["reason"] == "NoDevice",
                "  ... where writeSome fails as a lost device", written)
        t.check(gone["rc"] == 0, "  ... and once the port is closed, present(COM1) says no", gone)
    line = Line(wine)
    calls, _, _ = probe(t, wine, line, ["present", "COM1"], "a new terminal")
    line.close()
    t.check(calls[0]["rc"] == 1, "a new terminal at COM1's link: present(COM1) says yes", calls[0])


if __name__ == "__main__":
    sys.exit(main())
