#!/usr/bin/env python3
"""End-to-end scenarios of the Linux program, driven as a user would.

Each scenario runs the test build of the program (its update address is the
loopback address below) in a fresh working directory, with the project's
test HTTP server on that address, on the X display this process was started
on (one Xvfb per scenario: CTest starts each through tests/support/xvfb.py).
Windows and boxes are found by title with xdotool and answered with keys; a
box's text is read from the clipboard after Ctrl+C, as on Windows.

Run one scenario:  launcher_e2e.py --program P --clipboard-probe C ... Scenarios.test_x
"""
import argparse
import fcntl
import hashlib
import json
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

OPTIONS = None
SEPARATOR = "-" * 27
CONFIRM_TEXT = ("Kestrune needs to download some updated files to work properly. "
                "Allow Download?")
MANIFEST_PROBLEM = "Problem with updater.txt. Please contact Tavimo"
UPDATE_PROBLEM = "Problem with function update. Please contact Tavimo"
REFUSED_PROBLEM = "Unable to run Kestrune without the updated files"
DESIGN_TEXT_HEIGHT = 13
CRASH_SIGNALS = {signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGILL, signal.SIGFPE}


def scaled(value, text_height):
    """The core's ScaleByTextHeight: value * h / 13, halves away from zero."""
    return (value * text_height + DESIGN_TEXT_HEIGHT // 2) // DESIGN_TEXT_HEIGHT


def allow_core_dumps():
    """In the launcher's process before it starts: a crash leaves a core."""
    _, hard = resource.getrlimit(resource.RLIMIT_CORE)
    resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))


def run(*argv, check=True):
    return subprocess.run(argv, check=check, capture_output=True, text=True).stdout


class Scenarios(unittest.TestCase):
    """One test per scenario of the start-up outcome table, and the clicks."""

    # ------------------------------------------------------------ set-up
    def _lock_server_address(self):
        """Scenarios of every run on this machine share the test build's one
        update address; CTest keeps its own runs apart, this lock keeps apart
        runs from different CTest invocations (or working trees)."""
        path = os.path.join(tempfile.gettempdir(), "kestrune-e2e-%s-%d.lock"
                            % (OPTIONS.server_host, OPTIONS.server_port))
        lock = open(path, "w")
        self.addCleanup(lock.close)
        deadline = time.monotonic() + 150
        while True:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() > deadline:
                    self.fail(f"{path} stayed locked: another run of these scenarios is stuck")
                time.sleep(0.2)

    def setUp(self):
        self._lock_server_address()
        self._tmp = tempfile.TemporaryDirectory(prefix="kestrune-e2e-")
        self.addCleanup(self._tmp.cleanup)
        base = self._tmp.name
        self.served = os.path.join(base, "server", "serverlist")
        self.work = os.path.join(base, "work")
        self.bin = os.path.join(base, "bin")
        self.runtime = tempfile.mkdtemp(dir=base)  # 0700, as Qt wants it
        for d in (self.served, self.work, self.bin):
            os.makedirs(d)
        shutil.copy(os.path.join(os.path.dirname(__file__), "xdg-open"), self.bin)
        self.rules_path = os.path.join(base, "rules.json")
        self.log_path = os.path.join(base, "requests.log")
        self.stderr_path = os.path.join(base, "launcher-stderr.txt")
        self.server = None
        self.launcher = None
        self.seen = {}  # window id -> title, every visible window observed
        self.addCleanup(self._stop_all)

    def _stop_all(self):
        crashed = self.launcher and self.launcher.poll() is not None and \
            -self.launcher.returncode in CRASH_SIGNALS
        for proc in (self.launcher, self.server):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        # A launcher that died by a crash's signal: its errors and its core
        # (the kernel writes "core" into its working directory) are kept
        # where the failure says, before the temporary folder goes.
        if crashed:
            kept = os.path.join(tempfile.gettempdir(), "kestrune-e2e-crashes", self.id())
            os.makedirs(kept, exist_ok=True)
            for path in [self.stderr_path] + [os.path.join(self.work, n)
                                              for n in os.listdir(self.work)
                                              if n.startswith("core")]:
                if os.path.exists(path):
                    shutil.copy(path, kept)
            self.fail(f"the program died by signal {-self.launcher.returncode}; "
                      f"its errors and core are in {kept}")

    def publish(self, title, entries, manifest=None):
        """Puts updater.txt (title, then name/caption pairs) and the files
        on the server; entries are (name, caption, bytes)."""
        lines = [title] + [x for name, caption, _ in entries for x in (name, caption)]
        text = manifest if manifest is not None else ("\r\n".join(lines) + "\r\n").encode("cp1252")
        with open(os.path.join(self.served, "updater.txt"), "wb") as f:
            f.write(text)
        for name, _, content in entries:
            self.put(name, content)

    def put(self, name, content):
        path = os.path.join(self.served, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)

    def served_bytes(self, name):
        with open(os.path.join(self.served, name), "rb") as f:
            return f.read()

    def list_release(self, *names):
        """Writes updater.b2sums as a maker does: b2sum, run in the served
        folder, over updater.txt and the named files."""
        with open(os.path.join(self.served, "updater.b2sums"), "wb") as f:
            subprocess.run(["b2sum", "updater.txt", *names], cwd=self.served, stdout=f,
                           check=True)

    def sign(self, *names, timestamp=None):
        """Lists the release and signs the list with minisign and the test
        build's key, which writes updater.b2sums.minisig beside it; dated
        now, or at timestamp."""
        self.assertTrue(OPTIONS.signing_key_dir, "a signed scenario needs --signing-key-dir")
        self.list_release(*names)
        dated = [] if timestamp is None else [
            "-t", "timestamp:%d\tfile:updater.b2sums\thashed" % timestamp]
        run("minisign", "-S", "-s", os.path.join(OPTIONS.signing_key_dir, "test.sec"),
            "-m", os.path.join(self.served, "updater.b2sums"), *dated)

    def place_locally(self, name, content, executable=False):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(content)
        if executable:
            os.chmod(path, 0o755)

    def start_server(self, rules=None):
        with open(self.rules_path, "w") as f:
            json.dump(rules or {}, f)
        host, port = OPTIONS.server_host, OPTIONS.server_port
        self.server = subprocess.Popen(
            [sys.executable, OPTIONS.http_server, "--root", os.path.dirname(self.served),
             "--bind", host, "--port", str(port), "--rules", self.rules_path,
             "--log", self.log_path, "--max-seconds", "300"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.server.stdout.readline()
        if not first.startswith("PORT "):
            error = self.server.stderr.read()
            self.fail(f"the test server cannot listen on {host}:{port} "
                      f"(busy? another run of this suite?): {error.strip()}")

    def requests(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def start_launcher(self, program=None):
        env = dict(os.environ)
        env["PATH"] = self.bin + os.pathsep + env.get("PATH", "")
        env["XDG_RUNTIME_DIR"] = self.runtime
        for proxy in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                      "ALL_PROXY"):
            env.pop(proxy, None)
        with open(self.stderr_path, "ab") as errors:
            self.launcher = subprocess.Popen(
                [program or OPTIONS.program], cwd=self.work, env=env, stdout=subprocess.DEVNULL,
                stderr=errors, preexec_fn=allow_core_dumps)

    def launcher_errors(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    # ----------------------------------------------------- the display
    def visible_windows(self):
        ids = run("xdotool", "search", "--onlyvisible", "--name", "", check=False).split()
        windows = {}
        for wid in ids:
            out = run("xprop", "-id", wid, "_NET_WM_NAME", check=False)
            if "=" in out:
                windows[wid] = json.loads(out.split("=", 1)[1].strip())
        self.seen.update(windows)
        return windows

    def wait_for_window(self, title, timeout=30, besides=()):
        """The id of the visible window titled exactly title (other than the
        ids in besides); fails when the program ends first or nothing shows
        in time."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for wid, name in self.visible_windows().items():
                if name == title and wid not in besides:
                    return wid
            if self.launcher.poll() is not None:
                errors = self.launcher_errors()
                self.fail(f"the program ended (code {self.launcher.returncode}) without "
                          f"showing {title!r}; seen: {sorted(set(self.seen.values()))}; "
                          f"its errors: {errors}")
            time.sleep(0.1)
        self.fail(f"no window {title!r} within {timeout} s; seen: {sorted(set(self.seen.values()))}")

    def windows_titled(self, title):
        return [wid for wid, name in self.seen.items() if name == title]

    def read_box(self, wid):
        """(title, text, buttons) of a message box, from its Ctrl+C copy."""
        run("xdotool", "windowfocus", "--sync", wid, "key", "ctrl+c")
        copied = ""
        for _ in range(50):
            copied = run(OPTIONS.clipboard_probe, check=False)
            if copied.startswith(SEPARATOR):
                break
            time.sleep(0.1)
        parts = [p.strip("\n") for p in copied.split(SEPARATOR)]
        self.assertGreaterEqual(len(parts), 5, f"unexpected box copy: {copied!r}")
        return parts[1], parts[2], parts[3].split()

    def answer(self, wid, key):
        run("xdotool", "windowfocus", "--sync", wid, "key", key)

    def wait_exit(self, timeout=20):
        try:
            return self.launcher.wait(timeout)
        except subprocess.TimeoutExpired:
            self.fail(f"the program is still running after {timeout} s; "
                      f"visible: {sorted(self.visible_windows().values())}")

    def geometry(self, wid):
        fields = {}
        for line in run("xwininfo", "-id", wid).splitlines():
            if ":" in line:
                key, value = line.strip().split(":", 1)
                fields[key] = value.strip()
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                int(fields["Width"]), int(fields["Height"]))

    def click(self, wid, x, y):
        run("xdotool", "mousemove", "--window", wid, str(x), str(y), "click", "1")

    def opened(self, count, timeout=10):
        """What the stand-in xdg-open was asked to open, once count calls came."""
        log = os.path.join(self.bin, "opened.log")
        deadline = time.monotonic() + timeout
        lines = []
        while time.monotonic() < deadline:
            if os.path.exists(log):
                with open(log, encoding="utf-8") as f:
                    lines = f.read().splitlines()
                if len(lines) >= count:
                    break
            time.sleep(0.1)
        return lines

    def text_height(self, wid):
        """The window font's text height the program scaled its window by,
        found from the client width it chose (434 outside less a 16 frame)."""
        width = self.geometry(wid)[2]
        for h in range(6, 60):
            if scaled(434, h) - 16 == width:
                return h
        self.fail(f"window width {width} fits no scaling")

    def file_url(self, name):
        from urllib.parse import quote
        return "file://" + quote(os.path.join(os.path.realpath(self.work), name))

    def assert_same_file(self, name):
        with open(os.path.join(self.served, name), "rb") as a, \
                open(os.path.join(self.work, name), "rb") as b:
            self.assertEqual(hashlib.sha256(a.read()).hexdigest(),
                             hashlib.sha256(b.read()).hexdigest(), name)

    def assert_no_temporary_files(self):
        left = [n for n in os.listdir(self.work) if n.endswith(".kestrune-part")]
        self.assertEqual(left, [])

    # -------------------------------------------------------- scenarios
    def test_all_present_opens_the_window_without_asking(self):
        entries = [("readme.txt", "Read me", b"hello\n"),
                   ("guide.html", "The guide", b"<p>guide</p>\n"),
                   ("notes.txt", "Notes", b"notes\n")]
        self.publish("Tavimo Tools 2", entries)
        for name, _, content in entries:
            self.place_locally(name, content)
        self.start_server()
        self.start_launcher()
        main = self.wait_for_window("Tavimo Tools 2")
        time.sleep(0.3)
        self.assertEqual(sorted(set(self.visible_windows().values())), ["Tavimo Tools 2"])
        self.assertEqual(self.windows_titled("Confirm"), [])

        h = self.text_height(main)
        _, _, width, height = self.geometry(main)
        self.assertEqual((width, height), (scaled(434, h) - 16, scaled(393, h) - 39))
        # The program's 48 x 48 icon is the window's icon.
        icon = run("xprop", "-id", main, "_NET_WM_ICON")
        self.assertIn("Icon (48 x 48)", icon)
        # One button per entry, in order, where the design puts them: a click
        # on each opens its own file.
        for i in range(3):
            self.click(main, 35 + 125, 120 + 40 * i + 12)
        self.assertEqual(self.opened(3), [self.file_url(n) for n, _, _ in entries])
        # Nothing but the manifest was fetched; it is kept as updater1.txt.
        self.assertEqual([r["path"] for r in self.requests()], ["/serverlist/updater.txt"])
        with open(os.path.join(self.work, "updater1.txt"), "rb") as f, \
                open(os.path.join(self.served, "updater.txt"), "rb") as g:
            self.assertEqual(f.read(), g.read())

        exit_btn = (scaled(297, h) + scaled(89, h) // 2, scaled(320, h) + scaled(25, h) // 2)
        self.click(main, *exit_btn)
        self.assertEqual(self.wait_exit(), 0)

    def test_missing_files_asked_once_and_downloaded_on_yes(self):
        entries = [("first.txt", "First", b"first file\r\n"),
                   ("data.bin", "Data", os.urandom(300000)),
                   ("second file.txt", "Second", b"second\n")]
        self.publish("Tavimo", entries)
        self.start_server()
        self.start_launcher()
        box = self.wait_for_window("Confirm")
        title, text, buttons = self.read_box(box)
        self.assertEqual((title, text), ("Confirm", CONFIRM_TEXT))
        self.assertEqual(buttons, ["Yes", "No"])
        x, y, w, h = self.geometry(box)
        screen = run("xdotool", "getdisplaygeometry").split()
        self.assertLessEqual(abs(2 * x + w - int(screen[0])), 2)
        self.assertLessEqual(abs(2 * y + h - int(screen[1])), 2)
        self.answer(box, "Return")  # Yes is the default

        self.wait_for_window("Tavimo")
        self.assertEqual(len(self.windows_titled("Confirm")), 1)
        for name, _, _ in entries:
            self.assert_same_file(name)
        self.assert_no_temporary_files()
        agent = os.path.basename(OPTIONS.program)
        requests = self.requests()
        self.assertEqual([r["path"] for r in requests],
                         ["/serverlist/updater.txt", "/serverlist/first.txt",
                          "/serverlist/data.bin", "/serverlist/second%20file.txt"])
        self.assertEqual({r["agent"] for r in requests}, {agent})

    def test_refused_download_ends_without_the_window(self):
        self.publish("Tavimo", [("tool.txt", "Tool", b"tool\n")])
        self.start_server()
        self.start_launcher()
        box = self.wait_for_window("Confirm")
        self.answer(box, "alt+n")
        info = self.wait_for_window("Information")
        self.assertEqual(self.read_box(info), ("Information", REFUSED_PROBLEM, ["OK"]))
        self.answer(info, "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(sorted(set(self.seen.values())), ["Confirm", "Information"])
        self.assertEqual(len(self.windows_titled("Confirm")), 1)
        self.assertEqual(sorted(os.listdir(self.work)), ["updater1.txt"])

    def _expect_manifest_problem(self):
        self.place_locally("updater1.txt", b"Earlier title\r\nold.txt\r\nOld\r\n")
        self.start_launcher()
        info = self.wait_for_window("Information")
        self.assertEqual(self.read_box(info), ("Information", MANIFEST_PROBLEM, ["OK"]))
        self.answer(info, "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(sorted(set(self.seen.values())), ["Information"])
        with open(os.path.join(self.work, "updater1.txt"), "rb") as f:
            self.assertEqual(f.read(), b"Earlier title\r\nold.txt\r\nOld\r\n")
        self.assert_no_temporary_files()

    def test_unreachable_manifest_is_reported_and_ends(self):
        self._expect_manifest_problem()  # no server at all

    def test_missing_manifest_is_reported_and_ends(self):
        self.start_server()  # serves nothing: updater.txt is a 404
        self._expect_manifest_problem()
        self.assertEqual([r["path"] for r in self.requests()], ["/serverlist/updater.txt"])

    def test_one_failed_download_is_reported_once_and_the_rest_arrive(self):
        entries = [("a.bin", "A", os.urandom(50000)), ("b.bin", "B", os.urandom(200000)),
                   ("c.bin", "C", os.urandom(50000))]
        self.publish("Tavimo", entries)
        self.start_server({"/serverlist/b.bin": {"reset_after": 60000}})
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        info = self.wait_for_window("Information")
        self.assertEqual(self.read_box(info), ("Information", UPDATE_PROBLEM, ["OK"]))
        self.answer(info, "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(len(self.windows_titled("Information")), 1)
        self.assertEqual(sorted(set(self.seen.values())), ["Confirm", "Information"])
        self.assert_same_file("a.bin")
        self.assert_same_file("c.bin")
        self.assertFalse(os.path.exists(os.path.join(self.work, "b.bin")))
        self.assert_no_temporary_files()

    def test_entries_beyond_five_grow_the_window_and_move_exit(self):
        def run_with(count):
            entries = [(f"file{i}.txt", f"File {i}", b"%d\n" % i) for i in range(count)]
            self.publish("Many", entries)
            for name, _, content in entries:
                self.place_locally(name, content)
            self.start_launcher()
            return self.wait_for_window("Many")

        self.start_server()
        five = run_with(5)
        h = self.text_height(five)
        height_five = self.geometry(five)[3]
        exit_x = scaled(297, h) + scaled(89, h) // 2
        exit_y = scaled(320, h) + scaled(25, h) // 2
        self.click(five, exit_x, exit_y)
        self.assertEqual(self.wait_exit(), 0)

        seven = run_with(7)
        self.assertEqual(self.geometry(seven)[3], height_five + 2 * 40)
        # The seventh button is there, below where the window used to end.
        self.click(seven, 35 + 125, 120 + 40 * 6 + 12)
        self.assertEqual(self.opened(1), [self.file_url("file6.txt")])
        # Exit is no longer where it was, but two pitches lower.
        self.click(seven, exit_x, exit_y)
        time.sleep(0.5)
        self.assertIsNone(self.launcher.poll())
        self.click(seven, exit_x, exit_y + 80)
        self.assertEqual(self.wait_exit(), 0)

    def test_launcher_button_starts_a_program_in_the_working_directory(self):
        program = b"#!/bin/sh\npwd > started.txt\necho \"$#\" >> started.txt\n"
        entries = [("readme.txt", "Read me", b"text\n"), ("run me.sh", "Run me", program)]
        self.publish("Tavimo", entries)
        self.place_locally("readme.txt", b"text\n")
        self.start_server()
        self.start_launcher()
        # The program is downloaded, and gets its execute bit on the way in.
        self.answer(self.wait_for_window("Confirm"), "Return")
        main = self.wait_for_window("Tavimo")
        self.assertTrue(os.access(os.path.join(self.work, "run me.sh"), os.X_OK))
        self.assertFalse(os.access(os.path.join(self.work, "readme.txt"), os.X_OK))

        self.click(main, 35 + 125, 120 + 40 + 12)
        marker = os.path.join(self.work, "started.txt")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not os.path.exists(marker):
            time.sleep(0.1)
        time.sleep(0.2)
        with open(marker) as f:
            self.assertEqual(f.read().split("\n")[:2], [os.path.realpath(self.work), "0"])
        self.assertIsNone(self.launcher.poll())

    def test_logo_and_help_icon_open_the_makers_addresses(self):
        self.publish("Tavimo", [])
        self.start_server()
        self.start_launcher()
        main = self.wait_for_window("Tavimo")
        h = self.text_height(main)
        self.click(main, scaled(377, h) + 16, scaled(8, h) + 16)
        self.assertEqual(self.opened(1), [OPTIONS.support_url])
        self.click(main, scaled(8, h) + 40, scaled(8, h) + 40)
        self.assertEqual(self.opened(2), [OPTIONS.support_url, OPTIONS.home_url])

    def test_ansi_title_is_shown_as_windows_shows_it(self):
        self.publish("Caf\xe9 \u20ac Tools", [], manifest=b"Caf\xe9 \x80 Tools\r\n")
        self.start_server()
        self.start_launcher()
        self.wait_for_window("Caf\xe9 \u20ac Tools")

    # ------------------------------------------- built with a signing key
    def test_signed_release_is_kept_with_its_list_and_opens_the_window(self):
        entries = [("tool.bin", "Tool", os.urandom(100000)),
                   ("tools/setup.exe", "Setup", b"MZ setup\n"), ("notes.txt", "Notes", b"n\n")]
        self.publish("Signed", entries)
        self.sign(*[name for name, _, _ in entries])
        os.makedirs(os.path.join(self.work, "tools"))
        self.start_server()
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        self.wait_for_window("Signed")
        for name, _, _ in entries:
            self.assert_same_file(name)
        # The list and its signature are kept with the manifest, so the next
        # start takes no older list.
        for kept, served in (("updater1.b2sums", "updater.b2sums"),
                             ("updater1.b2sums.minisig", "updater.b2sums.minisig")):
            with open(os.path.join(self.work, kept), "rb") as f:
                self.assertEqual(f.read(), self.served_bytes(served), kept)
        # One signature for the whole release, fetched before any file.
        self.assertEqual([r["path"] for r in self.requests()],
                         ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig",
                          "/serverlist/updater.b2sums", "/serverlist/tool.bin",
                          "/serverlist/tools/setup.exe", "/serverlist/notes.txt"])
        # One after another, over one connection kept open between them.
        self.assertEqual(len({r["connection"] for r in self.requests()}), 1, self.requests())

    def test_files_the_list_does_not_vouch_for_are_refused_and_not_kept(self):
        # The maker signed an earlier release whose setup.exe is now known
        # to be vulnerable; that file and its list are still out there.
        old_setup = b"MZ release 1 setup\n"
        self.publish("Release 1", [("setup.exe", "Setup", old_setup)])
        self.sign("setup.exe")
        setup = b"MZ release 2 setup\n"
        self.publish("Release 2", [("setup.exe", "Setup", setup),
                                   ("tools/setup.exe", "Tools setup", b"MZ tools setup\n"),
                                   ("notes.txt", "Notes", b"n\n"),
                                   ("unlisted.txt", "Unlisted", b"u\n")])
        self.sign("setup.exe", "tools/setup.exe", "notes.txt")
        # An attacker on the path swaps in files the maker signed elsewhere.
        self.put("setup.exe", old_setup)
        self.put("tools/setup.exe", setup)
        os.makedirs(os.path.join(self.work, "tools"))
        self.start_server()
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        # One box per refused file: the two swapped ones and the unlisted one.
        boxes = []
        for _ in range(3):
            boxes.append(self.wait_for_window("Information", besides=boxes))
            self.assertEqual(self.read_box(boxes[-1]), ("Information", UPDATE_PROBLEM, ["OK"]))
            self.answer(boxes[-1], "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(sorted(set(self.seen.values())), ["Confirm", "Information"])
        self.assertEqual(len(self.windows_titled("Information")), 3)
        self.assert_same_file("notes.txt")
        for name in ("setup.exe", "tools/setup.exe", "unlisted.txt"):
            self.assertFalse(os.path.exists(os.path.join(self.work, name)), name)
        self.assertEqual(os.listdir(os.path.join(self.work, "tools")), [])
        self.assert_no_temporary_files()
        # A file the list does not name is not even asked for.
        self.assertEqual([r["path"] for r in self.requests()],
                         ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig",
                          "/serverlist/updater.b2sums", "/serverlist/setup.exe",
                          "/serverlist/tools/setup.exe", "/serverlist/notes.txt"])

    # ------------------- built with the maker's option to show the progress
    def capture(self, wid):
        """The window's pixels, as raw RGB."""
        return subprocess.run(["import", "-window", wid, "-depth", "8", "rgb:-"],
                              capture_output=True, check=True, timeout=30).stdout

    def test_progress_window_shows_a_paced_download_then_the_main_window_alone(self):
        title = "Progress Tools"
        self.publish(title, [("big.bin", "Big file", os.urandom(600000)),
                             ("notes.txt", "Notes", b"n\n")])
        self.start_server({"/serverlist/big.bin": {"rate": 200000}})
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        # The main window is hidden until start-up is over: a window with
        # the manifest's title now is the progress window.
        progress = self.wait_for_window(title)
        first = self.capture(progress)
        time.sleep(0.8)
        self.assertNotEqual(self.capture(progress), first, "the bar does not move")
        if OPTIONS.artifacts:
            os.makedirs(OPTIONS.artifacts, exist_ok=True)
            run("import", "-window", progress, os.path.join(OPTIONS.artifacts, "progress.png"))
        main = self.wait_for_window(title, besides=[progress])
        self.assertNotIn(progress, self.visible_windows(), "closed before the main window shows")
        self.assertEqual(len([w for w in self.visible_windows().values() if w == title]), 1)
        self.assertNotEqual(main, progress)
        for name in ("big.bin", "notes.txt"):
            self.assert_same_file(name)

    def test_cancel_in_the_progress_window_ends_as_a_no(self):
        title = "Progress Tools"
        self.publish(title, [("notes.txt", "Notes", b"n\n"),
                             ("big.bin", "Big file", os.urandom(4000000)),
                             ("later.txt", "Later", b"l\n")])
        self.start_server({"/serverlist/big.bin": {"rate": 200000}})
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        progress = self.wait_for_window(title)
        deadline = time.monotonic() + 30
        while "/serverlist/big.bin" not in [r["path"] for r in self.requests()]:
            self.assertLess(time.monotonic(), deadline, "big.bin never asked for")
            time.sleep(0.1)
        self.answer(progress, "Escape")
        info = self.wait_for_window("Information")
        self.assertEqual(self.read_box(info), ("Information", REFUSED_PROBLEM, ["OK"]))
        self.assertNotIn(progress, self.visible_windows(), "closed before the box")
        self.answer(info, "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(sorted(set(self.seen.values())), ["Confirm", "Information", title])
        # What came before the Cancel stays; nothing of big.bin, nothing after.
        self.assertEqual(sorted(os.listdir(self.work)), ["notes.txt", "updater1.txt"])
        self.assertEqual([r["path"] for r in self.requests()],
                         ["/serverlist/updater.txt", "/serverlist/notes.txt",
                          "/serverlist/big.bin"])

    def test_a_release_signed_before_the_builds_minimum_is_refused_on_a_first_start(self):
        self.assertTrue(OPTIONS.minimum_release_timestamp, "needs --minimum-release-timestamp")
        self.publish("Current", [("tool.txt", "Tool", b"tool\n")])
        # A list the maker signed long ago, replayed to a new folder.
        self.sign("tool.txt", timestamp=OPTIONS.minimum_release_timestamp - 1)
        self.start_server()
        self.start_launcher()
        info = self.wait_for_window("Information")
        self.assertEqual(self.read_box(info), ("Information", MANIFEST_PROBLEM, ["OK"]))
        self.answer(info, "Return")
        self.assertEqual(self.wait_exit(), 0)
        self.assertFalse(os.path.exists(os.path.join(self.work, "tool.txt")))
        self.sign("tool.txt", timestamp=OPTIONS.minimum_release_timestamp)
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        self.wait_for_window("Current")
        self.assert_same_file("tool.txt")

    # --------------------- built with a key and the option to replace files
    def test_changed_files_are_replaced_after_one_question(self):
        self.assertTrue(OPTIONS.signed_program, "needs --signed-program")
        release_1 = [("tool.bin", "Tool", b"tool 1\n"), ("notes.txt", "Notes", b"notes 1\n")]
        self.publish("Release 1", release_1)
        self.sign("tool.bin", "notes.txt")
        # A signed build without the option keeps the list and trusts what
        # is there; the first start of the build with it hashes each copy
        # once and mends the damaged one.
        self.place_locally("tool.bin", b"damaged\n")
        self.place_locally("notes.txt", b"notes 1\n")
        self.start_server()
        self.start_launcher(OPTIONS.signed_program)
        self.wait_for_window("Release 1")
        self.launcher.terminate()
        self.launcher.wait(10)
        self.assertTrue(os.path.exists(os.path.join(self.work, "updater1.b2sums")))
        before = len(self.requests())
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        self.wait_for_window("Release 1")
        self.assert_same_file("tool.bin")
        listing = ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig",
                   "/serverlist/updater.b2sums"]
        self.assertEqual([r["path"] for r in self.requests()[before:]],
                         listing + ["/serverlist/tool.bin"])
        self.launcher.terminate()
        self.launcher.wait(10)
        # What it recorded of the files is what b2sum finds in them.
        checked = subprocess.run(["b2sum", "-c", "updater1.verified.b2sums"], cwd=self.work,
                                 capture_output=True, text=True)
        self.assertEqual((checked.returncode, sorted(checked.stdout.splitlines())),
                         (0, ["notes.txt: OK", "tool.bin: OK"]))

        # The next release changes one file: only it is asked for, after the
        # one question, and it replaces the old copy.
        self.publish("Release 2", [release_1[0], ("notes.txt", "Notes", b"notes 2\n")])
        self.sign("tool.bin", "notes.txt")
        before = len(self.requests())
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        self.wait_for_window("Release 2")
        self.assert_same_file("notes.txt")
        self.assertEqual([r["path"] for r in self.requests()[before:]],
                         listing + ["/serverlist/notes.txt"])
        self.assert_no_temporary_files()

    def test_unsigned_list_is_refused_and_the_kept_copies_stay(self):
        self.publish("Release 1", [("tool.txt", "Tool", b"tool\n")])
        self.sign("tool.txt")
        kept = {"updater1.b2sums": self.served_bytes("updater.b2sums"),
                "updater1.b2sums.minisig": self.served_bytes("updater.b2sums.minisig")}
        for name, content in kept.items():
            self.place_locally(name, content)
        self.publish("Unsigned", [("tool.txt", "Tool", b"new tool\n")])
        self.list_release("tool.txt")
        os.remove(os.path.join(self.served, "updater.b2sums.minisig"))
        self.start_server()
        self._expect_manifest_problem()
        for name, content in kept.items():
            with open(os.path.join(self.work, name), "rb") as f:
                self.assertEqual(f.read(), content, name)
        self.assertEqual([r["path"] for r in self.requests()],
                         ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig"])


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--clipboard-probe", required=True)
    parser.add_argument("--http-server", required=True)
    parser.add_argument("--update-url", required=True)
    parser.add_argument("--home-url", required=True)
    parser.add_argument("--support-url", required=True)
    parser.add_argument("--signing-key-dir", help="the folder of test.sec, for a signed build")
    parser.add_argument("--signed-program", help="the signed build without the option to "
                        "replace files, which a replacing scenario upgrades from")
    parser.add_argument("--artifacts", help="where a scenario saves its screenshots")
    parser.add_argument("--minimum-release-timestamp", type=int,
                        help="the signed builds' KESTRUNE_MINIMUM_RELEASE_TIMESTAMP")
    OPTIONS, rest = parser.parse_known_args()
    from urllib.parse import urlsplit
    parts = urlsplit(OPTIONS.update_url)
    OPTIONS.server_host, OPTIONS.server_port = parts.hostname, parts.port
    if not os.environ.get("DISPLAY"):
        sys.exit("launcher_e2e.py needs an X display (run it through tests/support/xvfb.py)")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
