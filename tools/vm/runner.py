#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The VM test's host side: boots the guest once per scenario and checks, from
the far end of each line, what the guest's real serial drivers made of what
the program wrote. One line per check, then "N passed, M failed".

The guest has a 16550 UART (its /dev/ttyS0) whose far end is a pipe this
runner reads, and an FTDI USB adapter (its /dev/ttyUSB0) on an xHCI bus whose
far end is a socket this runner drains. Its console is a virtio console on
QEMU's standard input and output: the guest's init runs one shell line per
line sent, and the programs it starts answer with "@@" lines. QMP unplugs and
replugs the adapter; QEMU's traces show what the drivers programmed.

    runner.py --kernel K --initrd I --build DIR [--only N,N] [--workdir DIR]
"""

import argparse
import ctypes
import fcntl
import json
import os
import queue
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

F_SETPIPE_SZ = 1031
PR_SET_PDEATHSIG = 1

# The longest any single answer from the guest may take. Generous: software
# emulation on a shared two-core machine.
ANSWER_S = 20
BOOT_S = 60


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.scenario = ""

    def check(self, ok, name, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   {self.scenario}: {name}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL {self.scenario}: {name}" + (f" ({detail})" if detail else ""), flush=True)
        return ok


class Broken(Exception):
    """The scenario cannot go on (no answer in time, QEMU gone)."""


class FarEnd(threading.Thread):
    """Reads one line's far end into a buffer until told to stop. Pausing stops
    reading, so that the guest's output backs up as in front of a wedged
    player; a paused socket would stall the whole VM, so only the UART's pipe
    is ever paused."""

    def __init__(self, fd):
        super().__init__(daemon=True)
        self.fd = fd
        self.data = bytearray()
        self.lock = threading.Lock()
        self.reading = threading.Event()
        self.reading.set()
        self.stopping = False

    def run(self):
        while not self.stopping:
            self.reading.wait(0.1)
            if not self.reading.is_set():
                continue
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if not ready:
                continue
            with self.lock:
                if not self.reading.is_set():
                    continue
                try:
                    chunk = os.read(self.fd, 65536)
                except BlockingIOError:
                    continue
                except OSError:
                    return
                self.data += chunk
            if not chunk:
                time.sleep(0.05)

    def pause(self):
        self.reading.clear()
        # Past a read in progress: nothing more is taken from now on.
        with self.lock:
            pass

    def bytes(self):
        with self.lock:
            return bytes(self.data)

    def wait_for(self, count, timeout):
        """Waits until at least count bytes have arrived; then a little longer
        for anything more, which a check must then see."""
        deadline = time.monotonic() + timeout
        while len(self.bytes()) < count and time.monotonic() < deadline:
            time.sleep(0.02)
        time.sleep(0.2)
        return self.bytes()


def listener(path):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.bind(path)
    s.listen(1)
    s.settimeout(BOOT_S)
    return s


class Guest:
    """One boot of the test VM, shut down and reaped on every way out."""

    def __init__(self, args, name):
        self.args = args
        self.dir = tempfile.mkdtemp(prefix=f"vm-{name}-", dir=args.workdir)
        self.console = queue.Queue()
        self.chatter = []
        self.qmp_replies = queue.Queue()
        self.events = []
        self.qemu = None
        self.trace = os.path.join(self.dir, "trace.log")

    def __enter__(self):
        try:
            self._boot()
        except BaseException:
            self.close()
            raise
        return self

    def _boot(self):
        d = self.dir
        os.mkfifo(os.path.join(d, "uart.in"))
        os.mkfifo(os.path.join(d, "uart.out"))
        # QEMU opens both ends read-write; ours is opened first, without
        # blocking, and made one page small so that a stall shows at once
        # in the driver's own queue rather than in 64 KiB of pipe.
        self.uart_fd = os.open(os.path.join(d, "uart.out"), os.O_RDONLY | os.O_NONBLOCK)
        fcntl.fcntl(self.uart_fd, F_SETPIPE_SZ, 4096)
        usb_listen = listener(os.path.join(d, "usb.sock"))
        qmp_listen = listener(os.path.join(d, "qmp.sock"))

        a = self.args
        cmd = [
            "qemu-system-x86_64", "-accel", "tcg", "-m", "512", "-smp", "1",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", a.kernel, "-initrd", a.initrd,
            "-append", f"console=hvc0 loglevel=3 panic=-1 lvbuild={a.build}",
            "-device", "virtio-serial-pci",
            "-chardev", "stdio,id=con,signal=off", "-device", "virtconsole,chardev=con",
            "-chardev", f"pipe,id=uart,path={d}/uart", "-serial", "chardev:uart",
            "-fsdev", "local,id=usr,path=/usr,security_model=none,readonly=on",
            "-device", "virtio-9p-pci,fsdev=usr,mount_tag=usr",
            "-fsdev", f"local,id=build,path={a.build},security_model=none,readonly=on",
            "-device", "virtio-9p-pci,fsdev=build,mount_tag=build",
            "-device", "qemu-xhci,id=xhci",
            # QEMU attaches the adapter only while its far end is connected.
            "-chardev", f"socket,id=usb,path={d}/usb.sock",
            "-device", "usb-serial,chardev=usb,id=ftdi,bus=xhci.0",
            "-chardev", f"socket,id=qmp,path={d}/qmp.sock", "-mon", "chardev=qmp,mode=control",
            "-D", self.trace,
        ]
        for event in ("serial_write", "serial_update_parameters", "usb_serial_set_data",
                      "usb_serial_set_baud", "usb_serial_handle_control"):
            cmd += ["-trace", event]

        libc = ctypes.CDLL(None, use_errno=True)
        self.started = time.monotonic()
        self.qemu = subprocess.Popen(
            cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=open(os.path.join(d, "qemu.err"), "wb"),
            # QEMU dies with the runner, however the runner dies.
            preexec_fn=lambda: libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL))
        try:
            self.usb, _ = usb_listen.accept()
            self.qmp, _ = qmp_listen.accept()
        except socket.timeout:
            raise Broken("QEMU did not connect: " + self.qemu_errors())
        finally:
            usb_listen.close()
            qmp_listen.close()
        self.uart = FarEnd(self.uart_fd)
        self.usb_end = FarEnd(self.usb.fileno())
        self.uart.start()
        self.usb_end.start()
        threading.Thread(target=self._read_console, daemon=True).start()
        threading.Thread(target=self._read_qmp, daemon=True).start()
        self.qmp_command("qmp_capabilities")

        line = self.expect("@@ready", BOOT_S)
        self.boot_s = time.monotonic() - self.started
        self.guest_uptime = float(line.split()[1])

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        if self.qemu and self.qemu.poll() is None:
            try:
                self.send("poweroff -f")
                self.qemu.wait(3)
            except (Broken, OSError, subprocess.TimeoutExpired):
                pass
        if self.qemu and self.qemu.poll() is None:
            self.qemu.kill()
            self.qemu.wait(5)
        for end in (getattr(self, "uart", None), getattr(self, "usb_end", None)):
            if end:
                end.stopping = True
                end.reading.set()
        for sock in (getattr(self, "usb", None), getattr(self, "qmp", None)):
            if sock:
                sock.close()

    def qemu_errors(self):
        try:
            with open(os.path.join(self.dir, "qemu.err"), errors="replace") as f:
                return f.read().strip()[-500:]
        except OSError:
            return ""

    def _read_console(self):
        for raw in self.qemu.stdout:
            line = raw.decode(errors="replace").rstrip("\r\n")
            self.console.put(line)
        self.console.put(None)

    def _read_qmp(self):
        f = self.qmp.makefile("rb")
        for raw in f:
            try:
                msg = json.loads(raw)
            except ValueError:
                continue
            if "event" in msg:
                self.events.append((time.monotonic(), msg))
            elif "return" in msg or "error" in msg:
                self.qmp_replies.put(msg)

    def qmp_command(self, name, **arguments):
        msg = {"execute": name}
        if arguments:
            msg["arguments"] = arguments
        self.qmp.sendall(json.dumps(msg).encode() + b"\n")
        try:
            reply = self.qmp_replies.get(timeout=ANSWER_S)
        except queue.Empty:
            raise Broken(f"no QMP reply to {name}")
        if "error" in reply:
            raise Broken(f"QMP {name}: {reply['error'].get('desc')}")
        return reply

    def wait_event(self, name, since, timeout=ANSWER_S):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for t, msg in list(self.events):
                if t >= since and msg["event"] == name:
                    return t
            time.sleep(0.01)
        raise Broken(f"no {name} event within {timeout} s")

    def send(self, line):
        if self.qemu.poll() is not None:
            raise Broken("QEMU has exited: " + self.qemu_errors())
        self.qemu.stdin.write(line.encode() + b"\n")
        self.qemu.stdin.flush()

    def expect(self, prefix, timeout=ANSWER_S):
        """The next console line that starts with prefix; other lines are kept
        to be shown when something goes wrong."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            try:
                line = self.console.get(timeout=max(left, 0.01))
            except queue.Empty:
                line = ""
            if line is None:
                raise Broken(f"QEMU ended while waiting for {prefix}: " + self.qemu_errors())
            if line.startswith(prefix):
                return line
            if line:
                self.chatter.append(line)
                if line.startswith("@@error"):
                    print(f"     guest: {line}", flush=True)
            if left <= 0:
                raise Broken(f"no {prefix} within {timeout} s; guest said: "
                             + " | ".join(self.chatter[-5:]))

    def ask(self, line, prefix, timeout=ANSWER_S):
        self.send(line)
        return self.expect(prefix, timeout)

    def stall_uart(self):
        """Stops reading the UART's far end and fills the pipe in front of it
        with filler of our own, so that the driver's queue fills after 4 KiB
        more rather than 8; returns where the filler starts in the far end's
        bytes and how long it is."""
        self.uart.pause()
        mark = len(self.uart.bytes())
        fd = os.open(os.path.join(self.dir, "uart.out"), os.O_WRONLY | os.O_NONBLOCK)
        try:
            n = os.write(fd, FILLER * 4096)
        except BlockingIOError:
            n = 0
        finally:
            os.close(fd)
        return mark, n

    def unplug(self):
        since = time.monotonic()
        self.qmp_command("device_del", id="ftdi")
        return self.wait_event("DEVICE_DELETED", since) - since

    def replug(self):
        self.qmp_command("device_add", driver="usb-serial", id="ftdi", chardev="usb", bus="xhci.0")

    def traces(self, event):
        """The arguments of every trace line of one event, in order."""
        try:
            with open(self.trace, errors="replace") as f:
                text = f.read()
        except OSError:
            return []
        return re.findall(rf"\b{event} (.*)", text)


def fields(line):
    """key=value words of an answer; the link indicator's text runs to the
    status bar's, which runs to the end."""
    out = {}
    head, _, status = line.partition(" status=")
    head, _, link = head.partition(" link=")
    for word in head.split():
        key, eq, value = word.partition("=")
        if eq:
            out[key] = value
    out["link"] = link
    out["status"] = status
    return out


def show(n):
    return f"X04{n:02X}".encode()


def bright(value, maximum=99):
    level = max((maximum - value) * 255 // maximum, 1)
    return f"X02{level:02X}".encode()


OFF = b"X0100"
FILLER = b"#"
PROBE = "{build}/tools/vm/vm-probe"
OPERATOR = "QT_QPA_PLATFORM=offscreen {build}/tools/vm/vm-operator {port} 2>/tmp/operator.err"
LOST = "Could not write to serial port /dev/ttyUSB0"
GONE = "Serial port /dev/ttyUSB0 was disconnected"
STALLED = "Not taking data: "
CONNECTED = "Connected: "
NOT_CONNECTED = "Not connected: "
MCR = 0x04
DTR, RTS = 0x01, 0x02


def last_mcr(g):
    values = [int(m.group(2), 16) for m in
              (re.search(r"addr 0x([0-9a-f]+) val 0x([0-9a-f]+)", t) for t in g.traces("serial_write"))
              if m and int(m.group(1), 16) == MCR]
    return values[-1] if values else None


def start_operator(g, c, port):
    line = g.ask(OPERATOR.format(build=g.args.build, port=port), "@@operator ready", 60)
    f = fields(line)
    c.check(f.get("held") == port and f.get("boxes") == "0",
            f"Lumivane opens {port} at start, without a box", line)
    return f


def act(g, action):
    return fields(g.ask(action, "@@did"))


def stop_operator(g, c):
    line = g.ask("quit", "@@quit")
    c.check(line == "@@quit 0", "Lumivane closes cleanly", line)
    g.expect("@@done")


def scenario_uart(g, c):
    g.ask(PROBE.format(build=g.args.build), "@@probe ready")
    # A real driver takes what a pseudo-terminal cannot: 7 bits, even parity.
    line = g.ask("open /dev/ttyS0 9600 7 1 1", "@@open")
    c.check(line.split()[1] == "0", "SerialPort opens /dev/ttyS0 as 9600 7E1", line)
    line = g.ask("line", "@@line")
    c.check("data=7 parity=E" in line, "the driver reads back 7 data bits, even parity", line)
    params = g.traces("serial_update_parameters")
    c.check(bool(params) and "parity='E' data=7 stop=1" in params[-1],
            "the UART was programmed 7E1 (QEMU trace)", params[-1:] and params[-1])
    g.ask("close", "@@close")

    line = g.ask("open /dev/ttyS0 9600 8 1 0", "@@open")
    c.check(line.split()[1] == "0", "SerialPort opens /dev/ttyS0 as the program does (9600 8N1)", line)
    texts = [show(n) for n in range(1, 129)] + [bright(v) for v in range(100)] + [OFF]
    expected = b"".join(texts)
    line = g.ask("write " + " ".join(t.decode() for t in texts), "@@write")
    c.check("failed=0" in line, f"{len(texts)} writes succeed", line)
    got = g.uart.wait_for(len(expected), 10)
    c.check(got == expected, f"every command arrives byte for byte ({len(expected)} bytes)",
            f"{len(got)} bytes, first difference at "
            f"{next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))}")
    line = g.ask("line", "@@line")
    f = fields(line)
    c.check(f.get("speed") == "9600" and f.get("data") == "8" and f.get("parity") == "N"
            and f.get("stop") == "1", "the driver reads back 9600 8N1", line)
    c.check(f.get("raw") == "1" and f.get("clocal") == "1" and f.get("cread") == "1"
            and f.get("crtscts") == "0", "the line is raw, with CLOCAL, without flow control", line)
    params = g.traces("serial_update_parameters")
    c.check(bool(params) and "baudrate=9600 parity='N' data=8 stop=1" in params[-1],
            "the UART was programmed 9600 8N1 (QEMU trace)", params[-1:] and params[-1])
    line = g.ask("modem", "@@modem")
    c.check(line == "@@modem dtr=1 rts=0", "TIOCMGET: DTR up, RTS down", line)
    mcr = last_mcr(g)
    c.check(mcr is not None and mcr & DTR and not mcr & RTS,
            "the UART's modem control register: DTR up, RTS down (QEMU trace)",
            "no MCR write" if mcr is None else f"MCR 0x{mcr:02x}")
    line = g.ask("second /dev/ttyS0", "@@second")
    c.check(line == "@@second -1 reason=3", "a second open of the held port fails as busy", line)
    # Nobody reads: the driver's queue fills, and a close would wait for it
    # to drain (30 s on this driver) unless the port lets it go.
    g.stall_uart()
    line = g.ask("flood 2000", "@@flood", 30)
    c.check("outq=409" in line, "with nobody reading, writes fail once the driver's queue is full", line)
    line = g.ask("close", "@@close", 60)
    f = fields(line)
    c.check(int(f.get("ms", 99999)) < 1000, "close() does not wait for a stalled queue", line)
    g.uart.reading.set()
    g.send("quit")
    g.expect("@@done")


def frames_of(data):
    return [data[i:i + 5] for i in range(0, len(data), 5)]


def quiet(end, seconds, timeout):
    """Waits until nothing has arrived for seconds; the bytes so far."""
    deadline = time.monotonic() + timeout
    seen, since = -1, time.monotonic()
    while time.monotonic() < deadline:
        n = len(end.bytes())
        if n != seen:
            seen, since = n, time.monotonic()
        elif time.monotonic() - since >= seconds:
            break
        time.sleep(0.05)
    return end.bytes()


def scenario_stall(g, c):
    start_operator(g, c, "/dev/ttyS0")
    act(g, "show 1")
    c.check(g.uart.wait_for(5, 5) == show(1), "show 1 arrives while the host reads")
    mark, filler = g.stall_uart()
    stuck = []

    def stalled_ask(line, prefix, timeout):
        try:
            return g.ask(line, prefix, timeout)
        except Broken as e:
            # A window stuck in a write or a close waits for the line: let
            # the line drain so that it comes back and the run can go on.
            stuck.append(f"{line}: {e}")
            g.uart.reading.set()
            answer = g.expect(prefix, 60)
            g.uart.reading.clear()
            return answer

    line = stalled_ask("fill 30000", "@@filled", 45)
    print(f"     {line}", flush=True)
    f = fields(line)
    c.check(int(f.get("most", -1)) >= 4090,
            "TIOCOUTQ shows the driver's queue full while the host does not read", line)
    last = [fields(stalled_ask("show 77", "@@did", 5)), fields(stalled_ask("bright 20", "@@did", 5))]
    # The bound leaves room for a guest descheduled on a loaded host; a
    # write that waits for the line takes a second or more.
    c.check(int(f.get("gap", 99999)) < 500 and not stuck,
            "the window keeps answering: no action waited 500 ms or more",
            "; ".join([line] + stuck))
    c.check(all(a.get("boxes") == "0" for a in last), "no box while the line is stalled",
            " / ".join(line_of(a) for a in last))
    f = wait_state(g, lambda f: f["link"].startswith(STALLED), 5)
    c.check(f["link"].startswith(STALLED), "the status bar says the line is not taking data", line_of(f))
    g.uart.reading.set()
    data = quiet(g.uart, 1.0, 30)
    intact = filler > 0 and data[mark:mark + filler] == FILLER * filler
    data = data[:mark] + data[mark + filler:]
    frames = frames_of(data)
    broken = [f for f in frames if not re.fullmatch(rb"X0[124][0-9A-F]{2}", f)]
    c.check(intact and len(data) % 5 == 0 and not broken, f"no command is split ({len(data)} bytes)",
            f"filler intact: {intact}; first broken frame {broken[:1]}")
    c.check(frames[-2:] == [show(77), bright(20)],
            "once the host reads again, the state the window shows arrives last, in order",
            f"ends with {frames[-4:]}")
    stop_operator(g, c)


def scenario_program(g, c):
    start_operator(g, c, "/dev/ttyUSB0")
    actions = [("show 1", show(1)), ("show 37", show(37)), ("show 70", show(70)),
               ("show 128", show(128)), ("bright 50", bright(50)), ("bright 98", bright(98)),
               ("bright 99", bright(99)), ("bright 0", bright(0)), ("off", OFF),
               ("show 2", show(2))]
    boxes = []
    for action, _ in actions:
        boxes.append(act(g, action).get("boxes"))
        # One command's line time and more, as a hand acts: quicker, the
        # line writer lets a newer brightness replace one still waiting.
        time.sleep(0.02)
    expected = b"".join(t for _, t in actions)
    got = g.usb_end.wait_for(len(expected), 5)
    c.check(got == expected, "shows, slider and Off arrive byte for byte over the USB adapter",
            f"got {got!r}")
    c.check(set(boxes) == {"0"}, "no box while acting", str(boxes))
    data = g.traces("usb_serial_set_data")
    c.check(bool(data) and "parity N, data bits 8, stop bits 1" in data[-1],
            "the adapter was programmed 8N1 (QEMU trace)", data[-1:] and data[-1])
    stop_operator(g, c)


def scenario_pulled_during_show(g, c):
    start_operator(g, c, "/dev/ttyUSB0")
    act(g, "show 5")
    c.check(g.usb_end.wait_for(5, 5) == show(5), "show 5 arrives before the adapter is pulled")
    g.unplug()
    f = act(g, "show 6")
    c.check(f["status"] == LOST, "the next action says so in the status bar", f["status"])
    c.check(f.get("boxes") == "0", "and shows no box", line_of(f))
    g.replug()
    line = g.ask("node /dev/ttyUSB0 5000", "@@node")
    print(f"     after device_add: {line[2:]}", flush=True)
    c.check("present=1" in line, "the adapter comes back as /dev/ttyUSB0", line)
    mark = len(g.usb_end.bytes())
    f = act(g, "show 7")
    got = g.usb_end.wait_for(mark + 5, 5)[mark:]
    c.check(got == show(7), "the next action goes out once after the replug, nothing replayed",
            f"got {got!r}")
    f = act(g, "bright 30")
    got = g.usb_end.wait_for(mark + 10, 5)[mark:]
    c.check(got == show(7) + bright(30) and f.get("boxes") == "0",
            "and the one after it too, without a box", f"got {got!r}, {line_of(f)}")
    stop_operator(g, c)


def scenario_pulled_between(g, c):
    start_operator(g, c, "/dev/ttyUSB0")
    act(g, "show 10")
    c.check(g.usb_end.wait_for(5, 5) == show(10), "show 10 arrives before the adapter is pulled")
    gone = g.unplug()
    f = wait_state(g, lambda f: f.get("held") == "none", 3)
    c.check(f.get("held") == "none", "the port is released when the adapter goes", line_of(f))
    c.check(f["status"] == GONE and f.get("boxes") == "0",
            "the status bar says so, without a box", line_of(f))
    print(f"     device_del took {gone:.2f} s; after it: {line_of(f)}", flush=True)
    c.check(f["link"].startswith(NOT_CONNECTED) and "ttyUSB0" in f["link"],
            "the indicator says it is not connected", line_of(f))
    mark = len(g.usb_end.bytes())
    reconnected = replug_and_wait(g, c)
    c.check(reconnected is not None and reconnected < 2.0,
            "Lumivane opens the adapter by itself within 2 s of device_add, no action in between",
            "not at all" if reconnected is None else f"{reconnected:.2f} s")
    c.check(g.usb_end.wait_for(mark, 0.5)[mark:] == b"", "nothing is sent on reconnecting")
    first = act(g, "show 11")
    second = act(g, "show 12")
    got = g.usb_end.wait_for(mark + 10, 5)[mark:]
    c.check(got == show(11) + show(12), "the next actions go out once each after the replug",
            f"got {got!r}; after show 11: {line_of(first)}; after show 12: {line_of(second)}")
    c.check(second.get("boxes") == "0", "no box", line_of(second))
    stop_operator(g, c)


def scenario_absent_at_start(g, c):
    g.unplug()
    line = g.ask(OPERATOR.format(build=g.args.build, port="/dev/ttyUSB0"), "@@operator ready", 60)
    f = fields(line)
    c.check(f.get("held") == "none" and f.get("boxes") == "1"
            and f["link"].startswith(NOT_CONNECTED) and "ttyUSB0" in f["link"],
            "started without the adapter: the box at start, then not connected", line)
    reconnected = replug_and_wait(g, c)
    c.check(reconnected is not None, "Lumivane opens the adapter once it is plugged in",
            "not within 10 s")
    f = act(g, "show 3")
    got = g.usb_end.wait_for(5, 5)
    c.check(got == show(3) and f.get("boxes") == "1", "the next action goes out once, without a box",
            f"got {got!r}, {line_of(f)}")
    stop_operator(g, c)


def replug_and_wait(g, c):
    """Plugs the adapter back in and waits until Lumivane holds it again;
    how long after device_add that was, None if not within 10 s."""
    since = time.monotonic()
    g.replug()
    f = wait_state(g, lambda f: f["link"].startswith(CONNECTED), 10)
    took = time.monotonic() - since
    print(f"     after device_add: {line_of(f)} ({took:.2f} s)", flush=True)
    if not f["link"].startswith(CONNECTED) or f.get("held") != "/dev/ttyUSB0":
        return None
    return took


def wait_state(g, done, timeout):
    """Asks the operator's state until done(state) or timeout seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        f = fields(g.ask("state", "@@state"))
        if done(f) or time.monotonic() > deadline:
            return f
        time.sleep(0.1)


def line_of(f):
    return " ".join(f"{k}={v}" for k, v in f.items())


SCENARIOS = [
    (1, "UART: SerialPort on a 16550", scenario_uart),
    (2, "UART: stalled line", scenario_stall),
    (3, "USB adapter: the real program", scenario_program),
    (4, "USB adapter: pulled out during a show", scenario_pulled_during_show),
    (5, "USB adapter: pulled out and back between actions", scenario_pulled_between),
    (6, "USB adapter: absent when Lumivane starts", scenario_absent_at_start),
]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--kernel", required=True)
    p.add_argument("--initrd", required=True)
    p.add_argument("--build", required=True)
    p.add_argument("--only", default="")
    p.add_argument("--workdir", required=True)
    args = p.parse_args()
    only = {int(n) for n in args.only.split(",") if n}

    # A TERM from the calling script ends the run through the finally blocks,
    # so no guest outlives it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    c = Checks()
    started = time.monotonic()
    for number, title, run in SCENARIOS:
        if only and number not in only:
            continue
        c.scenario = f"S{number}"
        print(f"== scenario {number}: {title}", flush=True)
        t0 = time.monotonic()
        try:
            with Guest(args, f"s{number}") as g:
                print(f"     boot to the guest's init: {g.boot_s:.1f} s "
                      f"(guest clock {g.guest_uptime:.1f} s)", flush=True)
                try:
                    run(g, c)
                finally:
                    if os.environ.get("LUMIVANE_VM_VERBOSE"):
                        for line in g.chatter:
                            print(f"     guest: {line}")
        except Broken as e:
            c.check(False, "the scenario ran to its end", str(e))
        print(f"     scenario {number}: {time.monotonic() - t0:.1f} s", flush=True)
    print(f"whole run: {time.monotonic() - started:.1f} s")
    print(f"{c.passed} passed, {c.failed} failed")
    return 0 if c.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
