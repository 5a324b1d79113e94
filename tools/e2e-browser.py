#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The browser panel end to end, run by tools/e2e-test.sh on its X server.

Lumivane's port is a pseudo-terminal whose far side is read here byte for
byte; the page is driven in Debian's chromium through Selenium, a text line
comes over remote control's TCP port, and plain sockets play the clients no
browser would be. One line per check, as tools/checks.sh prints them.
  tools/e2e-browser.py --app PATH --work DIR [--pids FILE] [--screenshot FILE.png]
Debian's python3 (/usr/bin/python3), for python3-selenium.
"""

import argparse
import os
import re
import select
import signal
import socket
import subprocess
import sys
import time
import tty

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

PASSWORD = "foyer-2026"
# Show 38 carries markup: the page must show it as the text it is.
MARKUP = "<img src=x onerror=alert(1)>"
NAMES = ["Vernissage", "Foyer loop", "Morning light", "Gallery walk", "Sculpture court",
         "Artist talk", "Finissage", "Night opening", "Cleaning light", "Closing"]

passed = failed = 0


def check(name, ok):
    global passed, failed
    if ok:
        passed += 1
        print("ok   " + name, flush=True)
    else:
        failed += 1
        print("FAIL " + name, flush=True)
    return ok


def wait_until(predicate, seconds=5.0, step=0.02):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Line:
    """The player's side of the serial line. The slave stays open here, so
    Lumivane closing the port between runs never hangs the line up."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        self.bytes = b""

    def read(self):
        while select.select([self.master], [], [], 0)[0]:
            self.bytes += os.read(self.master, 4096)
        return self.bytes

    def mark(self):
        return len(self.read())

    def since(self, mark):
        return self.read()[mark:]

    def wait(self, mark, wanted, seconds=5):
        return wait_until(lambda: self.since(mark) == wanted, seconds)


class Lumivane:
    def __init__(self, app, work, pids):
        self.app, self.work, self.pids = app, work, pids
        self.process = None
        self.env = dict(os.environ, XDG_CONFIG_HOME=f"{work}/config", XDG_DATA_HOME=f"{work}/data",
                        QT_QPA_PLATFORM="xcb")
        self.conf = f"{work}/config/lumivane.org/Lumivane.conf"
        os.makedirs(os.path.dirname(self.conf), exist_ok=True)

    def configure(self, text):
        with open(self.conf, "w") as f:
            f.write(text)

    def set_password(self, password):
        done = subprocess.run([self.app, "--set-web-password"], input=password + "\n", env=self.env,
                              capture_output=True, text=True, timeout=30)
        return done.returncode == 0

    def start(self, port, log):
        with open(log, "w") as out:
            self.process = subprocess.Popen([self.app], env=self.env, stdout=out, stderr=subprocess.STDOUT)
        if self.pids:
            with open(self.pids, "a") as f:
                print(self.process.pid, file=f)

        def answers():
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return True
            except OSError:
                return False
        return wait_until(answers, 20, 0.1)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None


def http(port, head, body=b"", host=None):
    """One request on a connection of its own: (status, body)."""
    host = host or f"127.0.0.1:{port}"
    request = f"{head}\r\nHost: {host}\r\nContent-Length: {len(body)}\r\n\r\n".encode() + body
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(request)
        return response(s)


def response(s):
    data = b""
    while b"\r\n\r\n" not in data:
        piece = s.recv(65536)
        if not piece:
            return 0, data
        data += piece
    head, _, body = data.partition(b"\r\n\r\n")
    length = re.search(rb"(?im)^content-length:\s*(\d+)", head)
    while length and len(body) < int(length.group(1)):
        piece = s.recv(65536)
        if not piece:
            break
        body += piece
    return int(head.split()[1]), body.decode(errors="replace")


def plain_clients(port, line):
    """What a browser would never send, answered as the panel promises."""
    check("a request for another Host is refused: 421",
          http(port, "GET / HTTP/1.1", host=f"lumivane.example:{port}")[0] == 421)
    mark = line.mark()
    check("a POST without X-Lumivane-Request is refused: 403",
          http(port, "POST /api/command HTTP/1.1\r\nContent-Type: text/plain", b"show 9")[0] == 403)
    check("a POST from a foreign Origin is refused: 403",
          http(port, "POST /api/command HTTP/1.1\r\nX-Lumivane-Request: 1\r\n"
                     "Origin: http://lumivane.example", b"show 9")[0] == 403)
    check("a head over 8 KiB is refused: 431",
          http(port, "GET /api/state HTTP/1.1\r\nX-Padding: " + "a" * 9000)[0] == 431)
    check("a body over 4 KiB is refused: 413",
          http(port, "POST /api/command HTTP/1.1\r\nX-Lumivane-Request: 1", b"x" * 5000)[0] == 413)
    time.sleep(0.3)
    check("  ... and none of them reached the line", line.since(mark) == b"")

    held = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(32)]
    try:
        # Each held one asks for nothing: the server has taken all 32 once it answers on them.
        with socket.create_connection(("127.0.0.1", port), timeout=5) as extra:
            status = response(extra)[0]
        check(f"with 32 connections held, the 33rd is told 503 (got {status})", status == 503)
    finally:
        for s in held:
            s.close()
    check("  ... and once they close, a new one is served",
          wait_until(lambda: http(port, "GET /api/state HTTP/1.1")[0] == 200, 5, 0.1))


def journal_lines(journal):
    try:
        with open(journal, encoding="utf-8") as f:
            return [l.rstrip("\n").split("\t") for l in f]
    except OSError:
        return []


def new_driver(work):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--window-size=360,640", f"--user-data-dir={work}/chromium",
                     "--no-first-run", "--disable-dev-shm-usage", "--hide-scrollbars"):
        options.add_argument(argument)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    # Chromium keeps its caches and crash reports in the test's folder, not the user's.
    env = dict(os.environ, HOME=f"{work}/home", XDG_CONFIG_HOME=f"{work}/home/config",
               XDG_CACHE_HOME=f"{work}/home/cache")
    service = Service("/usr/bin/chromedriver", log_path=f"{work}/chromedriver.log", env=env)
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_page_load_timeout(10)
    driver.set_script_timeout(10)
    return driver


def by_id(driver, name):
    return driver.find_element(By.ID, name)


def js(driver, script, *args):
    return driver.execute_script(script, *args)


def pressed(driver, show):
    return js(driver, "const b = document.getElementById(arguments[0]);"
                      "return !!b && b.getAttribute('aria-pressed') === 'true';", f"show-{show}")


def panel_shown(driver):
    return js(driver, "const f = document.getElementById('login');"
                      "return !(f && f.getClientRects().length) && [...document.querySelectorAll('[id^=show-]')]"
                      "  .some((b) => b.getClientRects().length > 0);")


def login_shown(driver):
    return js(driver, "const f = document.getElementById('login');"
                      "return !!f && f.getClientRects().length > 0;")


def page_text(driver):
    return js(driver, "return document.body.innerText;")


def open_page(driver, url, want=panel_shown):
    # Headless chromium keeps its windows 500 pixels wide at least: the
    # phone's screen is emulated in each.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 360, "height": 640, "deviceScaleFactor": 1, "mobile": True})
    driver.get(url)
    return wait_until(lambda: want(driver), 10, 0.05)


def log_in(driver, password):
    field = by_id(driver, "password")
    field.clear()
    field.send_keys(password)
    by_id(driver, "login").find_element(By.XPATH, ".//button[normalize-space()='Log in']").click()


def post_from_page(driver, line):
    """A command as the page's own script would post it: (status, body)."""
    return tuple(driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "fetch('/api/command', {method: 'POST', body: arguments[0],"
        "  headers: {'Content-Type': 'text/plain', 'X-Lumivane-Request': '1'}})"
        ".then(async r => done([r.status, await r.text()])).catch(e => done([0, String(e)]));", line))


def no_alert(driver):
    try:
        driver.switch_to.alert
        return False
    except NoAlertPresentException:
        return True


def level_percent(level):
    return int(level * 100 / 255 + 0.5)


def browser_checks(driver, url, line, remote_port, journal, screenshot):
    check("the page shows the panel at 360x640", open_page(driver, url)
          and js(driver, "return [innerWidth, innerHeight];") == [360, 640])

    mark = line.mark()
    by_id(driver, "page-2").click()
    by_id(driver, "show-37").click()
    check("page-2, then show-37: X0425 on the line", line.wait(mark, b"X0425"))
    check("  ... and show-37 is pressed (aria-pressed=\"true\")",
          wait_until(lambda: pressed(driver, 37), 5))
    check("the journal names the page's command: X0425 sent by \"web 127.0.0.1\"",
          wait_until(lambda: ["X0425", "sent", "web 127.0.0.1"] in
                     [l[1:4] for l in journal_lines(journal)], 3))

    # Show 38's name is markup, and stays text.
    markup = js(driver, "const b = document.getElementById('show-38');"
                        "return [b.textContent, b.parentElement.querySelectorAll('img').length];")
    check(f"the name {MARKUP} stands as text in show-38 (\"{markup[0]}\")", MARKUP in markup[0])
    check("  ... no img element is in the grid", markup[1] == 0)
    check("  ... and no alert is open", no_alert(driver))

    # The slider dragged as a hand would, in small steps.
    mark = line.mark()
    slider = by_id(driver, "brightness")
    js(driver, "arguments[0].scrollIntoView({block: 'center'});", slider)
    width = slider.size["width"]
    drag = ActionChains(driver, duration=20).click_and_hold(slider)
    for _ in range(10):
        drag.move_by_offset(-width // 50, 0).pause(0.03)
    drag.release().perform()
    value = int(slider.get_attribute("value"))

    def settled():
        sent = line.since(mark)
        return (re.fullmatch(rb"(X02[0-9A-F]{2})+", sent)
                and level_percent(int(sent[-2:], 16)) in (value - 1, value, value + 1))
    check(f"dragging the slider to {value} % sends brightness on the line ({line.since(mark).decode()})",
          wait_until(settled, 5))

    time.sleep(0.3)
    mark = line.mark()
    by_id(driver, "off").click()
    check("Off sends X0100", line.wait(mark, b"X0100"))

    # A second page follows a remote peer. The page stamps the moment
    # show-5 turns pressed; the stamp and the sending are both wall-clock.
    first = driver.current_window_handle
    driver.switch_to.new_window("window")
    check("a second page opens", open_page(driver, url))
    js(driver, """
        window.seenAt = null;
        new MutationObserver(() => {
          const b = document.getElementById('show-5');
          if (window.seenAt === null && b && b.getAttribute('aria-pressed') === 'true')
            window.seenAt = performance.timeOrigin + performance.now();
        }).observe(document.body, {subtree: true, childList: true, attributes: true});""")
    mark = line.mark()
    with socket.create_connection(("127.0.0.1", remote_port), timeout=5) as peer:
        sent = time.time() * 1000
        peer.sendall(b"show 5\n")
        seen = wait_until(lambda: js(driver, "return window.seenAt;"), 5, 0.005)
        polled = time.time() * 1000
        reply = peer.recv(100)
    check("remote control's \"show 5\" is answered \"ok show 5\" and sent as X0405",
          reply.strip() == b"ok show 5" and line.wait(mark, b"X0405"))
    if seen:
        delay = seen - sent
        print(f"browser: the second page showed show-5 pressed {delay:.0f} ms after the line was sent "
              f"(seen by polling {polled - sent:.0f} ms after)", flush=True)
        check(f"  ... and the second page shows it pressed within 100 ms ({delay:.0f} ms)", delay < 100)
    else:
        check("  ... and the second page shows it pressed", False)

    if screenshot:
        with socket.create_connection(("127.0.0.1", remote_port), timeout=5) as peer:
            peer.sendall(b"brightness 80\n")
            peer.recv(100)
        wait_until(lambda: by_id(driver, "brightness").get_attribute("value") == "80", 3)
        time.sleep(1.5)
        js(driver, "window.scrollTo(0, 0); document.activeElement.blur();")
        os.makedirs(os.path.dirname(screenshot) or ".", exist_ok=True)
        driver.save_screenshot(screenshot)
        print(f"browser screenshot: {screenshot}", flush=True)
    driver.close()
    driver.switch_to.window(first)


def password_checks(driver, url, lumivane):
    """The password set from the command line while Lumivane runs counts at once."""
    check("lumivane --set-web-password sets the password", lumivane.set_password(PASSWORD))
    check("the page then asks for the password", open_page(driver, url, login_shown))
    log_in(driver, "not-" + PASSWORD)
    check("a wrong password is told \"Wrong password\"",
          wait_until(lambda: "Wrong password" in page_text(driver), 10))
    check("  ... and the panel stays hidden", not panel_shown(driver))
    log_in(driver, PASSWORD)
    check("the right one shows the panel", wait_until(lambda: panel_shown(driver), 10))


def view_only_checks(driver, url, line):
    shown = open_page(driver, url, login_shown)
    if shown:
        log_in(driver, PASSWORD)
        shown = wait_until(lambda: panel_shown(driver), 10)
    check("view only, after logging in: the panel shows", shown)
    check("  ... saying \"View only: this panel cannot send commands.\"",
          wait_until(lambda: "View only: this panel cannot send commands." in page_text(driver), 5))
    controls = ["show-1", "show-5", "off", "brightness"]
    check("  ... with the shows, Off and the slider disabled",
          wait_until(lambda: not any(by_id(driver, c).is_enabled() for c in controls), 5))
    mark = line.mark()
    status, body = post_from_page(driver, "show 3")
    check(f"  ... a command posted from the page gets 403 \"error: the browser panel is view only\" "
          f"(got {status} {body.strip()})",
          status == 403 and body == "error: the browser panel is view only\n")
    time.sleep(0.5)
    check("  ... and nothing reaches the line", line.since(mark) == b"")


def settings(line, names, remote_port, web_port, view_only=False):
    return (f"[General]\nserialPort={line.path}\nlastFile={names}\n[names]\naskAtStart=false\n"
            f"[remote]\nenabled=true\nport={remote_port}\n"
            f"[web]\nenabled=true\nport={web_port}\nviewOnly={str(view_only).lower()}\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pids")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    started = time.monotonic()
    # The e2e test's watchdog ends this with SIGTERM: the browser and
    # Lumivane go with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    work = args.work
    os.makedirs(work, exist_ok=True)
    names = f"{work}/names.txt"
    with open(names, "w", encoding="utf-8", newline="\r\n") as f:
        for n in range(1, 129):
            print(MARKUP if n == 38 else NAMES[n - 1] if n <= len(NAMES) else "", file=f)
    journal = f"{work}/data/lumivane.org/Lumivane/journal.log"
    line = Line()
    lumivane = Lumivane(args.app, work, args.pids)
    driver = None
    try:
        remote_port, web_port = free_port(), free_port()
        url = f"http://127.0.0.1:{web_port}/"
        lumivane.configure(settings(line, names, remote_port, web_port))
        if not check(f"Lumivane serves the browser panel on {url}",
                     lumivane.start(web_port, f"{work}/app-web.log")):
            return 1
        check("  ... and sends nothing at start", wait_until(lambda: line.read(), 0.5) == b"")
        plain_clients(web_port, line)
        driver = new_driver(work)
        browser_checks(driver, url, line, remote_port, journal, args.screenshot)
        password_checks(driver, url, lumivane)
        lumivane.stop()

        web_port = free_port()
        url = f"http://127.0.0.1:{web_port}/"
        lumivane.configure(settings(line, names, remote_port, web_port, view_only=True))
        if check("with web/viewOnly=true and the password set before the start, Lumivane serves the panel",
                 lumivane.set_password(PASSWORD) and lumivane.start(web_port, f"{work}/app-view.log")):
            view_only_checks(driver, url, line)
    except WebDriverException as e:
        check(f"the browser did as asked ({e.msg})", False)
    finally:
        if driver:
            driver.quit()
        lumivane.stop()
    print(f"browser: {time.monotonic() - started:.0f} s, {passed} passed, {failed} failed", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
