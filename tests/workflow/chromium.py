"""A page opened in headless Chromium, driven over the DevTools protocol
through a pipe (--remote-debugging-pipe), with Python's standard library.

    with Chromium() as browser:
        page = browser.open("file:///.../report.html")
        page.failed        # requests that failed, as (url, error)
        page.evaluate("document.title")
        page.screenshot("shot.png")
"""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--hide-scrollbars",
    "--remote-debugging-pipe",
]


class Chromium:
    def __init__(self, executable="chromium", timeout=60):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="ldtag-chromium-")
        to_browser = os.pipe()
        from_browser = os.pipe()
        # The browser reads commands on fd 3 and writes replies on fd 4.
        ends = [fcntl.fcntl(to_browser[0], fcntl.F_DUPFD, 10), fcntl.fcntl(from_browser[1], fcntl.F_DUPFD, 10)]

        def wire():
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)

        self.process = subprocess.Popen(
            [executable] + FLAGS + ["--user-data-dir=" + self.profile, "about:blank"],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            pass_fds=[3, 4] + ends,
            preexec_fn=wire,
        )
        for fd in ends + [to_browser[0], from_browser[1]]:
            os.close(fd)
        self.out, self.inp = to_browser[1], from_browser[0]
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        try:
            self.send("Browser.close")
        except Exception:  # the browser may be gone already
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        os.close(self.out)
        os.close(self.inp)
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.inp], [], [], left)[0]:
                raise TimeoutError("no answer from Chromium")
            chunk = os.read(self.inp, 1 << 20)
            if not chunk:
                raise EOFError("Chromium closed the pipe")
            self.buffer += chunk
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    def send(self, method, params=None, session=None):
        """Sends a command and returns its result; events that arrive
        meanwhile are kept in self.events."""
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + self.timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def wait_for(self, method, session):
        deadline = time.monotonic() + self.timeout
        while True:
            for event in self.events:
                if event.get("method") == method and event.get("sessionId") == session:
                    return event
            self.events.append(self._read_message(deadline))

    def open(self, url, width=1400, height=1000):
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Network", "Runtime"):
            self.send(domain + ".enable", session=session)
        self.send(
            "Emulation.setDeviceMetricsOverride",
            {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False},
            session,
        )
        self.send("Page.navigate", {"url": url}, session)
        self.wait_for("Page.loadEventFired", session)
        return Page(self, session)


class Page:
    def __init__(self, browser, session):
        self.browser, self.session = browser, session

    @property
    def failed(self):
        """(url, error) of every request that failed to load."""
        requests = {}
        for e in self.browser.events:
            if e.get("sessionId") == self.session and e.get("method") == "Network.requestWillBeSent":
                requests[e["params"]["requestId"]] = e["params"]["request"]["url"]
        return [
            (requests.get(e["params"]["requestId"], "?")[:120], e["params"]["errorText"])
            for e in self.browser.events
            if e.get("sessionId") == self.session and e.get("method") == "Network.loadingFailed"
        ]

    def evaluate(self, expression):
        result = self.browser.send(
            "Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True}, self.session
        )
        if "exceptionDetails" in result:
            raise RuntimeError(result["exceptionDetails"])
        return result["result"].get("value")

    def screenshot(self, path, full_page=False):
        params = {"format": "png"}
        if full_page:
            params["captureBeyondViewport"] = True
        data = self.browser.send("Page.captureScreenshot", params, self.session)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))
