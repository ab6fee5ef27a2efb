#!/usr/bin/python3
"""The web console in a real browser: headless Chromium through WebDriver
against kv6d on a fresh store, with simulated modules calling in.

console_test.py --kv6d PATH --kv6ctl PATH --kv6sim PATH --screenshots DIR
"""
import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException, TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

ARGS = None
WAIT_S = 30
# The whole run ends by itself, whatever hangs.
RUN_LIMIT_S = 240

APN_DOCUMENT = {"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Process:
    """A child process whose standard error is gathered as it comes."""

    def __init__(self, argv):
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", QT_QPA_PLATFORM="offscreen")
        self.popen = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.PIPE, env=env)
        self.text = ""
        self.lock = threading.Lock()
        threading.Thread(target=self._gather, daemon=True).start()

    def _gather(self):
        for line in iter(self.popen.stderr.readline, b""):
            with self.lock:
                self.text += line.decode("utf-8", "replace")

    def wait_for(self, pattern, seconds=20):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            with self.lock:
                found = re.search(pattern, self.text)
            if found:
                return found
            if self.popen.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError(f"no '{pattern}' in:\n{self.text}")

    def stop(self):
        if self.popen.poll() is None:
            self.popen.terminate()
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait(5)


class Console(unittest.TestCase):
    """One server, three modules and one browser for the whole run; the
    tests go in their order, as an operator's session would."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="kv6-console-")
        cls.db = os.path.join(cls.dir, "fleet.sqlite")
        cls.processes = []
        cls.browser = None
        try:
            cls._start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def _start(cls):
        server = Process([ARGS.kv6d, "--port", "0", "--api-listen", "127.0.0.1:0", "--db", cls.db])
        cls.processes.append(server)
        cls.server = server
        port = server.wait_for(r"listening on port (\d+)").group(1)
        cls.url = server.wait_for(r"operator API on (http://[^\s]+)").group(1)
        cls.keys = {name: cls.ctl(["fleet", "key", "add", name, "--role", role]).strip()
                    for name, role in (("desk", "operator"), ("watch", "viewer"), ("chief", "admin"))}
        cls.processes.append(Process([ARGS.kv6sim, "--connect", f"127.0.0.1:{port}", "--modules", "3",
                                      "--object", "1001"]))
        cls.settings = os.path.join(cls.dir, "apn.json")
        with open(cls.settings, "w", encoding="utf-8") as f:
            json.dump(APN_DOCUMENT, f)

        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1366,768", "--lang=en-US", "--no-first-run", "--disable-extensions",
                         "--hide-scrollbars", f"--user-data-dir={os.path.join(cls.dir, 'chromium')}"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"intl.accept_languages": "en-US,en"})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver", port=free_port())
        cls.browser = webdriver.Chrome(service=service, options=options)
        cls.browser.set_page_load_timeout(WAIT_S)
        cls.browser.set_script_timeout(WAIT_S)
        cls.browser.get(cls.url + "/")

    @classmethod
    def tearDownClass(cls):
        if cls.browser is not None:
            try:
                cls.browser.quit()
            except Exception:  # the browser may be gone already
                pass
        for process in reversed(cls.processes):
            process.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def ctl(cls, arguments):
        done = subprocess.run([ARGS.kv6ctl] + arguments + ["--db", cls.db], capture_output=True, text=True,
                              timeout=30, env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        if done.returncode != 0:
            raise AssertionError(f"kv6ctl {' '.join(arguments)}: {done.stderr}")
        return done.stdout

    # What the browser shows.
    def wait(self, condition, what, seconds=WAIT_S):
        try:
            # The views redraw every 2 s: an element found a moment ago may be gone.
            return WebDriverWait(self.browser, seconds, poll_frequency=0.1,
                                 ignored_exceptions=(StaleElementReferenceException,)).until(lambda d: condition())
        except TimeoutException:
            self.shot(f"failed-{self.id().split('.')[-1]}")
            raise AssertionError(f"{what}; the page shows:\n{self.text('main')}\nkv6d:\n{self.server.text[-3000:]}")

    def find(self, css):
        return self.browser.find_elements(By.CSS_SELECTOR, css)

    def text(self, css):
        """The shown text of the first match, read in one step."""
        return self.browser.execute_script(
            "const e = document.querySelector(arguments[0]); return e ? e.innerText : ''", css)

    def texts(self, css):
        return self.browser.execute_script(
            "return [...document.querySelectorAll(arguments[0])].map((e) => e.innerText)", css)

    def attributes(self, css, name):
        return self.browser.execute_script(
            "return [...document.querySelectorAll(arguments[0])].map((e) => e.getAttribute(arguments[1]))", css, name)

    def click(self, css):
        self.wait(lambda: self.find(css)[0].click() is None, f"cannot click {css}")

    def shot(self, name):
        os.makedirs(ARGS.screenshots, exist_ok=True)
        self.browser.save_screenshot(os.path.join(ARGS.screenshots, f"{name}.png"))

    def go(self, hash_):
        self.browser.execute_script("location.hash = arguments[0]", hash_)

    def sign_in(self, key):
        if self.find("#sign-out") and self.find("#sign-out")[0].is_displayed():
            self.find("#sign-out")[0].click()
        self.wait(lambda: self.find("#key"), "no sign-in form")
        field = self.find("#key")[0]
        field.clear()
        field.send_keys(key)
        self.find("#sign-in-button")[0].click()

    def no_horizontal_scroll(self):
        width, inner = self.browser.execute_script(
            "return [document.documentElement.scrollWidth, window.innerWidth]")
        self.assertLessEqual(width, inner, "the page scrolls sideways")

    def api_status(self, method, path, body=None):
        """What the API answers a request sent from the page with the tab's key."""
        return self.browser.execute_async_script("""
            const [method, path, body, done] = arguments;
            fetch(path, {method, body: body === null ? undefined : JSON.stringify(body),
                         headers: {'Authorization': 'Bearer ' + sessionStorage.getItem('kv6.key'),
                                   'Content-Type': 'application/json'}})
              .then((r) => done(r.status), (e) => done(String(e)));""", method, path, body)

    # The tests, in the order of an operator's session.
    def test_0_every_text_is_in_both_languages_with_the_same_blanks(self):
        texts = self.browser.execute_async_script("""
            const done = arguments[0];
            import('/console/i18n.js').then((m) => done(m.texts), (e) => done(String(e)));""")
        self.assertEqual(sorted(texts), ["en", "ru"], texts)
        self.assertEqual(sorted(texts["en"]), sorted(texts["ru"]))
        for key, english in texts["en"].items():
            self.assertEqual(sorted(re.findall(r"\{\w+\}", english)), sorted(re.findall(r"\{\w+\}", texts["ru"][key])), key)
            self.assertNotRegex(english, "[А-Яа-яЁё]", key)
            self.assertTrue(texts["ru"][key].strip(), key)

    def test_1_a_wrong_key_is_refused_and_a_right_one_signs_in(self):
        self.wait(lambda: self.find("#sign-in"), "no sign-in form")
        self.assertEqual(self.browser.title, "KV6 fleet console")
        self.sign_in("kv6_not-a-key")
        self.wait(lambda: self.text("#sign-in-error") == "The key was refused: it is unknown or revoked.",
                  "a wrong key was not refused")
        self.assertEqual(self.find("#nav a"), [])
        self.shot("1-wrong-key")
        self.sign_in(self.keys["desk"])
        self.wait(lambda: self.text("#who") == "desk (operator)", "the right key did not sign in")
        # The key stays in this tab: not in the address, not in a cookie.
        self.assertNotIn(self.keys["desk"], self.browser.current_url)
        self.assertEqual(self.browser.execute_script("return document.cookie"), "")
        self.assertEqual(self.browser.execute_script("return localStorage.getItem('kv6.key')"), None)
        self.shot("1-signed-in")

    def test_2_the_modules_table_shows_the_simulated_modules_online(self):
        self.go("#/modules")

        def online():
            rows = dict(zip(self.attributes("#modules tbody tr[data-object]", "data-object"),
                            self.texts("#modules tbody tr[data-object]")))
            return sorted(rows) == ["1001", "1002", "1003"] and all(
                "\tonline\t" in text for text in rows.values()) and all(
                "ago" in text for text in rows.values())
        self.wait(online, "the three modules are not shown online with a backup")
        self.assertEqual(self.texts("#modules thead th"),
                         ["Object ▲", "Online", "Address", "First seen", "Last seen", "Last job", "Outcome",
                          "Last backup"])
        # Sorted by object, then the other way round.
        self.click("[data-sort=object]")
        self.wait(lambda: self.attributes("#modules tbody tr", "data-object") ==
                  ["1003", "1002", "1001"], "the table does not sort")
        self.click("[data-sort=object]")
        self.no_horizontal_scroll()
        self.shot("2-modules")
        # The search narrows the list.
        self.find("#module-search")[0].send_keys("1002")
        self.wait(lambda: self.attributes("#modules tbody tr", "data-object") == ["1002"],
                  "the search did not narrow the list")
        self.find("#module-search")[0].clear()
        self.find("#module-search")[0].send_keys(" ")

    def test_3_a_write_queued_on_the_module_page_ends_verified_with_the_key_in_the_audit(self):
        self.go("#/module/1001")
        self.wait(lambda: self.find("#backups tbody tr[data-backup]"), "module 1001 has no backup")
        self.find("#write-file")[0].send_keys(self.settings)
        self.wait(lambda: self.find("#write-difference tr[data-key='object.apn']"),
                  "the write's preview does not name object.apn")
        self.find("#write-password")[0].send_keys("0")
        self.click("#queue-write")
        notice = self.wait(lambda: re.fullmatch(r"Job #(\d+) \(write\) queued\.", self.text("#module-notice")),
                           "the write was not queued")
        job = notice.group(1)
        self.no_horizontal_scroll()
        self.click("#nav-jobs")
        self.wait(lambda: self.text(f"#jobs tr[data-job='{job}'] .badge") == "verified",
                  f"job {job} did not end verified", seconds=60)
        row = self.text(f"#jobs tr[data-job='{job}']")
        self.assertIn("desk", row)
        self.shot("3-jobs")
        self.click("#nav-audit")
        self.wait(lambda: any("object.apn: internet -> fleet.apn" in row and "\tdesk\t" in row and "verified" in row
                              for row in self.texts("#audit tbody tr")),
                  "the audit shows no verified line by desk")
        self.shot("3-audit")

    def test_4_the_difference_view_names_the_changed_field(self):
        self.go("#/module/1001")
        # The inventory read's backup, and the write's.
        self.wait(lambda: len(self.find("#backups tbody tr[data-backup]")) >= 2, "the write left no backup")
        ids = self.attributes("#backups tbody tr[data-backup]", "data-backup")
        # Newest first: B is the newest; A is the inventory read's.
        self.click(f"#backups input[name=backup-a][value='{ids[-1]}']")
        self.click("#compare")
        self.wait(lambda: self.find("#difference tr[data-key='object.apn']"), "the difference names no object.apn")
        cells = self.texts("#difference tr[data-key='object.apn'] td")
        self.assertEqual(cells, ["object.apn", "internet", "fleet.apn"])
        self.browser.execute_script("document.getElementById('module-backups').parentElement.scrollIntoView()")
        self.no_horizontal_scroll()
        self.shot("4-difference")
        # Backup A against a settings document picked on the computer.
        self.find("#compare-file")[0].send_keys(self.settings)
        self.wait(lambda: self.text("#detail h2") == f"Difference: backup #{ids[-1]} → apn.json",
                  "no difference with the file")
        self.assertEqual(self.texts("#difference tr[data-key] td"), ["object.apn", "internet", "fleet.apn"])
        self.assertEqual(self.texts("#difference thead th"), ["Field", f"Backup #{ids[-1]}", "apn.json"])
        # A backup's settings, page by page.
        self.click(f"[data-settings='{ids[0]}']")
        self.wait(lambda: "object.apn\tfleet.apn" in self.text("#settings"), "the settings do not show the APN")
        self.browser.execute_script("document.getElementById('detail').scrollIntoView()")
        self.shot("4-settings")
        self.click("[data-page=gsm]")
        self.wait(lambda: self.text("#settings").startswith("gsm."), "the page tabs do not change the page")

    def test_5_a_viewer_sees_no_button_that_changes_anything_and_a_forged_request_is_refused(self):
        self.ctl(["fleet", "queue", "read", "--object", "7777"])  # never calls: stays queued
        self.sign_in(self.keys["watch"])
        self.wait(lambda: self.text("#who") == "watch (viewer)", "the viewer did not sign in")
        self.go("#/module/1002")
        self.wait(lambda: self.find("#backups tbody tr[data-backup]"), "module 1002 has no backup")
        for button in ("#queue-read", "#queue-write", "#queue-reset", "#module-actions"):
            self.assertEqual(self.find(button), [], button)
        self.assertEqual(self.find("#nav-many"), [])
        self.shot("5-viewer-module")
        self.go("#/jobs")
        self.wait(lambda: self.find("#jobs tr[data-job] .state-queued"), "no queued job shown")
        self.assertEqual(self.find("[data-cancel]"), [])
        jobs = self.ctl(["fleet", "jobs"])
        # The page has no button, but the API decides: a request forged in the page is refused.
        self.assertEqual(self.api_status("POST", "/api/v1/jobs", {"object": "1002", "kind": "read"}), 403)
        self.assertEqual(self.api_status("DELETE", "/api/v1/jobs/1"), 403)
        self.assertEqual(self.ctl(["fleet", "jobs"]), jobs)
        self.assertEqual(self.api_status("GET", "/api/v1/jobs"), 200)
        self.shot("5-viewer-jobs")

    def test_6_an_admin_confirms_a_reset_that_names_the_object(self):
        self.sign_in(self.keys["chief"])
        self.wait(lambda: self.text("#who") == "chief (admin)", "the admin did not sign in")
        self.go("#/module/1002")
        self.wait(lambda: self.find("#queue-reset"), "the admin sees no reset")
        jobs = self.ctl(["fleet", "jobs"])
        self.click("#queue-reset")
        self.wait(lambda: self.find("#confirm[open]"), "no confirmation")
        self.assertEqual(self.text("#confirm-text"),
                         "Reset object 1002 to factory settings? Every setting of the module is lost.")
        self.shot("6-reset-confirmation")
        self.click("#confirm-no")
        self.wait(lambda: not self.find("#confirm[open]"), "the confirmation stays")
        self.assertEqual(self.ctl(["fleet", "jobs"]), jobs)

    def test_7_queue_for_many_shows_each_modules_changes_before_queueing(self):
        self.sign_in(self.keys["desk"])
        self.wait(lambda: self.text("#who") == "desk (operator)", "the operator did not sign in")
        self.go("#/many")
        self.wait(lambda: self.find("#many-objects"), "no list of objects")
        self.find("#many-objects")[0].send_keys("1001, 1002\n1003 1002")
        self.find("#many-file")[0].send_keys(self.settings)
        self.find("#many-password")[0].send_keys("0")
        self.click("#many-preview-button")
        self.wait(lambda: self.find("#many-queue")[0].is_enabled(), "the preview did not end")
        rows = dict(zip(self.attributes("#many-preview tr[data-object]", "data-object"),
                        self.texts("#many-preview tr[data-object] td.changes")))
        self.assertEqual(rows, {"1001": "nothing would change", "1002": "object.apn: internet → fleet.apn",
                                "1003": "object.apn: internet → fleet.apn"})
        self.assertEqual(self.text("#many-queue"), "Queue writes for 3 modules")
        self.no_horizontal_scroll()
        self.shot("7-many-preview")
        self.click("#many-queue")
        self.wait(lambda: all(re.fullmatch(r"#\d+", cell) for cell in self.texts("#many-preview td.queued")),
                  "not every write was queued")
        self.assertEqual(len(re.findall(r"\bwrite\b.*\bdesk\b", self.ctl(["fleet", "jobs"]))), 4)

    def test_8_the_texts_switch_to_russian(self):
        self.go("#/modules")
        self.wait(lambda: self.texts("#modules .badge") == ["verified"] * 3, "the writes are not shown verified",
                  seconds=60)
        self.shot("8-modules-after-writes")
        Select(self.find("#lang")[0]).select_by_value("ru")
        self.wait(lambda: self.text("#nav-modules") == "Приборы", "the menu is not in Russian")
        self.go("#/modules")
        self.wait(lambda: "на связи" in self.text("#modules"), "the table is not in Russian")
        self.no_horizontal_scroll()
        self.shot("8-russian")
        Select(self.find("#lang")[0]).select_by_value("en")

    def test_8b_a_rollout_is_approved_by_another_key_and_started_from_its_page(self):
        self.sign_in(self.keys["desk"])
        self.wait(lambda: self.text("#who") == "desk (operator)", "the operator did not sign in")
        document = {"format": "kv6-settings", "version": 1, "object": {"apn": "wave.apn"}}
        self.assertEqual(self.api_status("POST", "/api/v1/rollouts", {
            "name": "new apn", "settings": document, "target": "objects", "objects": ["1001", "1002", "1003"],
            "waves": "100%", "maxFailed": "0"}), 201)
        self.go("#/rollouts")
        self.wait(lambda: self.texts("#rollouts [data-rollout-state]") == ["awaiting approval"],
                  "the new rollout is not listed awaiting approval")
        self.find("#rollouts tr[data-rollout] a")[0].click()
        self.wait(lambda: self.attributes("#rollout-steps button", "data-step") == ["approve", "cancel"],
                  "the steps of a rollout awaiting approval are not offered")
        # Its creator may not approve it: the server says why, and nothing changes.
        self.click("#rollout-steps [data-step=approve]")
        self.wait(lambda: self.find("#confirm[open]"), "no confirmation")
        self.assertEqual(self.text("#confirm-text"), 'Approve rollout #1 "new apn"?')
        self.click("#confirm-yes")
        self.wait(lambda: "another person must approve it" in self.text("main .error"), "the creator's approval was taken")
        self.assertIn("awaiting approval", self.ctl(["fleet", "rollout", "list"]))

        self.sign_in(self.keys["chief"])
        self.wait(lambda: self.text("#who") == "chief (admin)", "the admin did not sign in")
        self.go("#/rollout/1")
        for step, state in (("approve", "approved"), ("start", "running")):
            self.click(f"#rollout-steps [data-step={step}]")
            self.wait(lambda: self.find("#confirm[open]"), "no confirmation")
            self.click("#confirm-yes")
            self.wait(lambda: self.texts("#rollout [data-rollout-state]") in ([state], ["finished"]),
                      f"the rollout is not {state}")
        self.wait(lambda: self.texts("#rollout [data-rollout-state]") == ["finished"], "the rollout did not finish",
                  seconds=60)
        waves = self.browser.execute_script(
            "return [...document.querySelectorAll('#waves tr[data-wave] td')].map((e) => e.innerText)")
        # Wave 1: 3 modules, none waiting, queued, held or running, 3 verified, none failed or cancelled.
        self.assertEqual(waves[:9], ["1", "3", "0", "0", "0", "0", "3", "0", "0"])
        self.no_horizontal_scroll()
        self.shot("8b-rollout")

    def test_9_nothing_the_page_did_broke_its_security_policy_or_threw(self):
        problems = [entry["message"] for entry in self.browser.get_log("browser")
                    if "Content Security Policy" in entry["message"] or "Uncaught" in entry["message"]]
        self.assertEqual(problems, [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--kv6d", "--kv6ctl", "--kv6sim", "--screenshots"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    # Raised in the test that runs: the class's tear-down still stops every process.
    def give_up(signum, _frame):
        raise TimeoutError(f"the console test stopped by signal {signum}")
    signal.signal(signal.SIGALRM, give_up)
    signal.signal(signal.SIGTERM, give_up)
    signal.alarm(RUN_LIMIT_S)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, failfast=True, verbosity=2)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
