#!/usr/bin/python3
"""The module's page in a real browser.

The module as installed ("cmake --install" of the build) runs in the
project's sandbox, started by its start script, with busybox syslogd and
busybox httpd serving /opt/orvanta/www on the loopback address; headless
Chromium, driven by Selenium from outside the sandbox, uses the page as a
router owner would. What the page changed is read from the sandbox's upper
layers. Writes a screenshot of the page to the path given.

Usage: browser_test.py --build DIR --sandbox-tool PATH --agent PATH
                       --serve PATH --screenshot PNG
Exit status 77 (skipped) where no browser or no sandbox can be had,
unless CI=true.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

SKIP = 77
PASSWORD = "Secret-Pa55"
SETTINGS = ("MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=router-17\n"
            f"MOD_ORVANTA_PASSWORD={PASSWORD}\nMOD_ORVANTA_INTERVAL=5\n")
RTRINFO = """#!/bin/sh
case $1 in
  module) printf 'Model: RX200\\nIMEI: 356938035643809\\n' ;;
  mobile) printf 'Operator: Orvanta Mobile\\nCell ID: 1A2B3C\\n' ;;
esac
"""
CELLCTL = "#!/bin/sh\nprintf '^SCID: 89490200001234567890\\r\\nOK\\r\\n'\n"
ELSEWHERE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Another site</title></head>
<body><form method="post" action="http://127.0.0.1:{port}/cgi-bin/orvanta">
<input type="hidden" name="token" value="">
<input type="hidden" name="action" value="save">
<input type="hidden" name="enabled" value="1">
<input type="hidden" name="username" value="from-elsewhere">
<input type="hidden" name="interval" value="1">
<button type="submit">Win a prize</button>
</form></body></html>
"""
AGENT_CFG_TAIL = ('load = (\r\n  "tessard-system-resources.so",\r\n  "tessard-measured-values.so"\r\n);\r\n'
                  'plugins = (\r\n  {\r\n    type = "system_resources",\r\n    interval = 60\r\n  },\r\n'
                  '  {\r\n    type = "measured_values",\r\n    interval = 10\r\n  }\r\n);\r\n')
DEADLINE = 60
WebDriverException = Exception  # selenium's, once it is imported


def skip_or_fail(why):
    print(f"browser test: {why}", file=sys.stderr)
    sys.exit(1 if os.environ.get("CI") == "true" else SKIP)


def wait_for(what, condition, deadline=DEADLINE):
    """Waits for condition() to give a true value, which it returns."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def living(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except (OSError, IndexError):
        return False


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid and fields[0] not in ("Z", "X"):
                found.append(int(entry))
    return found


def phone(browser, height=915):
    """A phone's screen, 412 CSS pixels wide, at twice the pixels."""
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                            {"width": 412, "height": height, "deviceScaleFactor": 2, "mobile": True})


class Router:
    """The installed module in a sandbox, served by busybox httpd."""

    def __init__(self, args, work):
        self.work = work
        self.upper = os.path.join(work, "upper")
        module = self.path("/opt/orvanta")
        env = dict(os.environ, DESTDIR=self.upper)
        subprocess.run(["cmake", "--install", args.build, "--component", "runtime"], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        self.place("/opt/orvanta/etc/settings", SETTINGS, 0o600)
        self.place("/usr/bin/rtrinfo", RTRINFO, 0o755)
        self.place("/usr/bin/cellctl", CELLCTL, 0o755)
        os.symlink(shutil.which("busybox"), self.path("/usr/bin/logread"))
        os.makedirs(self.path("/var/orvanta"), mode=0o700)
        self.page_port, self.other_port = free_port(), free_port()
        self.place("/var/elsewhere/index.html", ELSEWHERE.format(port=self.page_port), 0o644)
        shutil.copy(args.agent, os.path.join(module, "bin", "tessard"))
        self.tool = subprocess.Popen([args.sandbox_tool, "--upper", self.upper, "--", "/usr/bin/unshare", "--ipc",
                                      "/bin/sh", args.serve, str(self.page_port), str(self.other_port)])
        self.url = f"http://127.0.0.1:{self.page_port}/cgi-bin/orvanta"
        wait_for("the page to be served", self.served)

    def path(self, inside):
        """Where the sandbox's upper layer keeps a path of /opt, /var or /usr/bin."""
        top, rest = inside.strip("/").split("/", 1)
        if top == "usr":
            top, rest = "usr_bin", rest.split("/", 1)[1]
        return os.path.join(self.upper, top, rest)

    def place(self, inside, text, mode):
        path = self.path(inside)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, mode)

    def read(self, inside):
        """What a file holds inside; None where it is absent (or an overlay's whiteout)."""
        path = self.path(inside)
        if not os.path.isfile(path):
            return None
        with open(path, newline="") as f:
            return f.read()

    def served(self):
        if self.tool.poll() is not None:
            raise AssertionError(f"the sandbox ended with {self.tool.returncode}")
        try:
            with urllib.request.urlopen(self.url, timeout=10) as response:
                return response.status == 200
        except OSError:
            return False

    def supervisor(self):
        text = self.read("/var/orvanta/module-supervisor.pid")
        return int(text) if text and text.strip().isdigit() and living(int(text)) else None

    def agent(self, supervisor):
        found = children(supervisor)
        return found[0] if len(found) == 1 else None

    def post(self, fields=None, body=None, method="POST", headers=None):
        """A request made without a browser: its status and headers."""
        if body is None:
            body = urllib.parse.urlencode(fields or {}).encode()
        sent = {"Content-Type": "application/x-www-form-urlencoded"}
        sent.update(headers or {})
        request = urllib.request.Request(self.url, data=body, method=method, headers=sent)
        try:
            with urllib.request.urlopen(request, timeout=30) as response:
                return response.status, response.headers
        except urllib.error.HTTPError as error:
            return error.code, error.headers

    def stop(self):
        self.tool.send_signal(signal.SIGTERM)
        try:
            self.tool.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.tool.kill()
            self.tool.wait()
        # A supervisor left running (a failed stop) would outlive the sandbox.
        pid = self.supervisor()
        if pid:
            os.kill(pid, signal.SIGKILL)


class PageTest(unittest.TestCase):
    """The scenarios, in order: each starts where the one before ended."""

    router = None
    browser = None
    screenshot = None

    def open(self, url=None):
        self.browser.get(url or self.router.url)
        self.assertNotIn(PASSWORD, self.browser.page_source)

    def text(self, selector):
        return self.browser.find_element("css selector", selector).text

    def status(self):
        """The status list as term: description."""
        terms = self.browser.find_elements("css selector", "dt")
        descriptions = self.browser.find_elements("css selector", "dd")
        return {t.text: d.text for t, d in zip(terms, descriptions)}

    def submit(self, button):
        old = self.browser.find_element("css selector", "html")
        self.browser.find_element("css selector", f"button[value={button}]").click()
        wait_for("the next page", lambda: self.page_changed(old))
        self.assertNotIn(PASSWORD, self.browser.page_source)

    def page_changed(self, old):
        try:
            return old.id != self.browser.find_element("css selector", "html").id
        except WebDriverException:
            return False

    def log(self):
        shown = self.browser.find_elements("css selector", "pre")
        return shown[0].text if shown else ""

    def fill(self, field, value):
        element = self.browser.find_element("id", field)
        element.clear()
        element.send_keys(value)

    def test_1_shows_the_status_and_restarts(self):
        supervisor = wait_for("the supervisor", self.router.supervisor)
        agent = wait_for("the agent", lambda: self.router.agent(supervisor))
        self.open()
        self.assertEqual(self.browser.title, "Orvanta module")
        status = self.status()
        self.assertEqual(status["Module"], "Switched on")
        self.assertEqual(status["Supervisor"], f"Running (pid {supervisor})")
        self.assertRegex(status["Agent"], rf"^Running for \d+ s \(pid {agent}\)$")
        self.assertEqual(status["Agent starts"], "1")
        self.assertEqual(status["Last run"], "None has ended yet")
        self.assertTrue(self.browser.find_element("id", "enabled").is_selected())
        self.assertEqual(self.browser.find_element("id", "username").get_attribute("value"), "router-17")
        self.assertEqual(self.browser.find_element("id", "password").get_attribute("value"), "")
        self.assertEqual(self.browser.find_element("id", "interval").get_attribute("value"), "5")
        wait_for("the supervisor's log", lambda: self.open() or f"orvanta[{supervisor}]: Starting agent" in self.log())
        for label in ("Module switched on", "User name", "Password", "Interval (minutes)"):
            self.assertEqual(len(self.browser.find_elements("xpath", f"//label[text()='{label}']")), 1, label)

        self.submit("restart")
        self.assertTrue(self.browser.current_url.endswith("?m=restarted"))
        self.assertEqual(self.text("[role=status]"), "The module was restarted.")
        restarted = self.router.supervisor()
        self.assertNotIn(restarted, (None, supervisor))
        self.assertFalse(living(supervisor))
        self.assertEqual(self.status()["Supervisor"], f"Running (pid {restarted})")

    def test_2_saves_the_settings(self):
        before = self.router.read("/opt/orvanta/etc/settings")
        supervisor = self.router.supervisor()
        agent = wait_for("the agent", lambda: self.router.agent(supervisor))
        self.open()
        self.fill("username", "router-42")
        self.fill("interval", "99999999")
        self.submit("save")
        self.assertEqual(self.text("#interval-error"), "A whole number of minutes from 0 to 35791394.")
        self.assertEqual(self.browser.find_element("id", "interval").get_attribute("aria-invalid"), "true")
        self.assertEqual(self.browser.find_element("id", "username").get_attribute("value"), "router-42")
        self.assertEqual(self.router.read("/opt/orvanta/etc/settings"), before)
        self.assertEqual(self.router.supervisor(), supervisor)

        self.fill("interval", "15")
        self.submit("save")
        self.assertTrue(self.browser.current_url.endswith("?m=saved-restarted"))
        self.assertEqual(self.text("[role=status]"), "Saved. The module was restarted.")
        self.assertEqual(self.router.read("/opt/orvanta/etc/settings"),
                         "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=router-42\n"
                         f"MOD_ORVANTA_PASSWORD={PASSWORD}\nMOD_ORVANTA_INTERVAL=15\n")
        self.assertEqual(stat.S_IMODE(os.stat(self.router.path("/opt/orvanta/etc/settings")).st_mode), 0o600)
        expected_cfg = ('server = "http://developer.orvanta.com/s";\r\nusername = "router-42";\r\n'
                        f'password = "{PASSWORD}";\r\ninterval = 900;\r\n' + AGENT_CFG_TAIL)
        wait_for("the new agent configuration", lambda: self.router.read("/var/orvanta/tessard.cfg") == expected_cfg)
        restarted = self.router.supervisor()
        self.assertNotIn(restarted, (None, supervisor))
        new_agent = wait_for("the new agent", lambda: self.router.agent(restarted))
        self.assertNotEqual(new_agent, agent)
        self.assertFalse(living(agent))
        self.assertEqual(self.browser.find_element("id", "username").get_attribute("value"), "router-42")

        # The screenshot, once the new agent's first lines are in the log.
        saved = self.browser.current_url
        wait_for("the agent's log", lambda: self.open(saved) or "tessard: Agent running." in self.log())
        height = self.browser.execute_script("return document.documentElement.scrollHeight")
        phone(self.browser, height)
        self.assertTrue(self.browser.save_screenshot(self.screenshot))
        phone(self.browser)

    def test_3_shows_markup_as_text(self):
        marked = "<script>document.title='pwned'</script><b>bold</b> $(touch /var/orvanta/ran)"
        self.open()
        self.fill("username", marked)
        self.submit("save")
        self.assertEqual(self.text("[role=status]"), "Saved. The module was restarted.")
        self.assertEqual(self.browser.title, "Orvanta module")
        self.assertEqual(self.browser.find_element("id", "username").get_attribute("value"), marked)
        self.assertEqual(self.browser.find_elements("css selector", "b, script, img"), [])
        self.assertIn("&lt;script&gt;document.title='pwned'&lt;/script&gt;&lt;b&gt;", self.browser.page_source)
        self.assertIn(f'MOD_ORVANTA_USERNAME="{marked}"\n', self.router.read("/opt/orvanta/etc/settings"))
        self.assertIsNone(self.router.read("/var/orvanta/ran"))

    def test_4_refuses_changes_from_elsewhere(self):
        settings = self.router.read("/opt/orvanta/etc/settings")
        supervisor = self.router.supervisor()
        token = self.router.read("/var/orvanta/page-token").strip()
        form = {"token": token, "action": "save", "enabled": "1", "username": "intruder", "interval": "1"}
        own = {"Origin": f"http://127.0.0.1:{self.router.page_port}"}
        refusals = [
            ("another method", dict(form), None, "PUT", own, 405),
            ("no token", {k: v for k, v in form.items() if k != "token"}, None, "POST", own, 403),
            ("a wrong token", dict(form, token="0" * 64), None, "POST", own, 403),
            ("another origin", dict(form), None, "POST", {"Origin": "http://attacker.example"}, 403),
            ("an opaque origin", dict(form), None, "POST", {"Origin": "null"}, 403),
            ("too large", dict(form, username="x" * 9000), None, "POST", own, 413),
            ("a bad escape", None, f"token={token}&action=save&username=%zz&interval=1".encode(), "POST", own, 400),
            ("no form", dict(form), None, "POST", dict(own, **{"Content-Type": "text/plain"}), 415),
        ]
        for what, fields, body, method, headers, expected in refusals:
            with self.subTest(what):
                code, answer = self.router.post(fields, body, method, headers)
                self.assertEqual(code, expected)
                self.assertEqual(answer["Cache-Control"], "no-store")
                if code == 405:
                    self.assertEqual(answer["Allow"], "GET, HEAD, POST")

        # A form on another site, with the page's own token in it.
        self.open(f"http://127.0.0.1:{self.router.other_port}/")
        self.browser.execute_script("document.forms[0].token.value = arguments[0]", token)
        self.browser.find_element("css selector", "button").click()
        wait_for("the refusal", lambda: self.browser.title == "Forbidden")
        self.assertEqual(self.text("p"), "The change came from another site. Nothing was changed.")

        self.assertEqual(self.router.read("/opt/orvanta/etc/settings"), settings)
        self.assertEqual(self.router.supervisor(), supervisor)

    def test_5_switches_off(self):
        supervisor = self.router.supervisor()
        agent = self.router.agent(supervisor)
        self.open()
        self.browser.find_element("id", "enabled").click()
        self.submit("save")
        self.assertEqual(self.text("[role=status]"), "Saved. The module is switched off and was stopped.")
        self.assertIn("MOD_ORVANTA_ENABLED=0\n", self.router.read("/opt/orvanta/etc/settings"))
        self.assertFalse(living(supervisor))
        self.assertFalse(agent and living(agent))
        status = self.status()
        self.assertEqual((status["Module"], status["Supervisor"]), ("Switched off", "Not running"))
        self.assertFalse(self.browser.find_element("id", "enabled").is_selected())

    def test_6_sends_the_headers(self):
        with urllib.request.urlopen(self.router.url, timeout=30) as response:
            headers = response.headers
            page = response.read()
        self.assertRegex(headers["Content-Security-Policy"],
                         r"^default-src 'none'; style-src 'nonce-[0-9a-f]{32}'; form-action 'self'; "
                         r"frame-ancestors 'none'; base-uri 'none'$")
        self.assertEqual(headers["X-Content-Type-Options"], "nosniff")
        self.assertEqual(headers["Cache-Control"], "no-store")
        self.assertEqual(headers["Referrer-Policy"], "same-origin")
        self.assertEqual(headers["Content-Type"], "text/html; charset=utf-8")
        print(f"browser test: the page is {len(page)} bytes")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--sandbox-tool", "--agent", "--serve", "--screenshot"):
        parser.add_argument(option, required=True)
    args, rest = parser.parse_known_args()
    global WebDriverException
    try:
        from selenium import webdriver
        from selenium.common.exceptions import WebDriverException
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip_or_fail("no python3-selenium")
    for program in ("/usr/bin/chromium", "/usr/bin/chromedriver", shutil.which("busybox") or "/bin/busybox"):
        if not os.access(program, os.X_OK):
            skip_or_fail(f"no {program}")
    check = subprocess.run([args.sandbox_tool, "--", "/bin/true"], stderr=subprocess.PIPE, text=True)
    if check.returncode != 0:
        skip_or_fail(f"no sandbox: {check.stderr.strip()}")

    os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
    work = tempfile.mkdtemp(prefix="browser.", dir=os.path.dirname(os.path.abspath(args.screenshot)))
    router = browser = None
    try:
        router = Router(args, work)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--disable-dev-shm-usage", f"--user-data-dir={work}/chromium", "--hide-scrollbars"):
            options.add_argument(argument)
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver", log_path=os.devnull), options=options)
        phone(browser)
        PageTest.router, PageTest.browser, PageTest.screenshot = router, browser, args.screenshot
        result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
        return 0 if result.wasSuccessful() else 1
    finally:
        try:
            if browser:
                browser.quit()
        finally:
            if router:
                router.stop()
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
