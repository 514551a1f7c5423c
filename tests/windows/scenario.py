"""One start of the test build of the launcher, in a fresh working folder,
against a test server that serves a manifest and files made for the case."""
import os
import shutil
import subprocess
import tempfile
import unittest

import harness

PROGRAM = "kestrune_e2e.exe"
# The same build with the tests' minisign key compiled in.
SIGNED_PROGRAM = "kestrune_e2e_signed.exe"
# And with the maker's option to replace changed files.
REPLACING_PROGRAM = "kestrune_e2e_replacing.exe"
# The unsigned build with the maker's option to show the downloads' progress.
PROGRESS_PROGRAM = "kestrune_e2e_progress.exe"
# Wine in German: boxes left to the system read "&Ja", "&Nein".
GERMAN = {"LC_ALL": "de_DE.UTF-8", "LANGUAGE": "de"}
# The fixed controls' ids in the main window (platform/win32/win32_form1_window.cpp).
IMAGE1, EXIT_BTN, IMAGE2, LABEL1 = 101, 102, 103, 104
FIRST_LAUNCHER = 1000


class Scenario(unittest.TestCase):
    """Base for a module's scenarios; one Wine desktop serves them all."""

    desktop = None

    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.WineDesktop(cls.__name__.lower())

    @classmethod
    def tearDownClass(cls):
        if cls.desktop:
            cls.desktop.close()

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kestrune-case-")
        self.www = os.path.join(self.root, "www", "serverlist")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.www)
        os.makedirs(self.work)
        self.server = None
        self.program = None

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.desktop.driver("close", allow_error=True)
            try:
                self.program.wait(15)
            except subprocess.TimeoutExpired:
                self.program.kill()
                self.program.wait()
        if self.server:
            self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    # ------------------------------------------------------------ set-up

    def serve(self, title, entries, files=None, rules=None):
        """A manifest and files on the server, which is started."""
        self.manifest(title, entries)
        for name, data in (files or {}).items():
            self.put(name, data)
        self.server = harness.TestServer(os.path.join(self.root), harness.SETTINGS["host"],
                                         int(harness.SETTINGS["port"]), rules=rules)

    def manifest(self, title, entries):
        """updater.txt: the title, then file name and caption per entry, in
        Windows-1252 with CR LF lines."""
        lines = [title] + [part for entry in entries for part in entry]
        self.put("updater.txt", ("\r\n".join(lines) + "\r\n").encode("cp1252"))

    def put(self, name, data):
        """A served file; name uses '/' for its folders."""
        path = os.path.join(self.www, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def served(self, name):
        with open(os.path.join(self.www, name), "rb") as f:
            return f.read()

    def list_release(self, *names):
        """updater.b2sums as a maker writes it: the real b2sum, run in the
        served folder over updater.txt and the named files ('/' between
        folders, names as they are on this disk, so UTF-8)."""
        b2sum = shutil.which("b2sum")
        self.assertTrue(b2sum, "a signed scenario needs b2sum (GNU coreutils)")
        with open(os.path.join(self.www, "updater.b2sums"), "wb") as f:
            subprocess.run([b2sum, "updater.txt"] + list(names), cwd=self.www, stdout=f,
                           check=True, timeout=60)

    def sign(self, *names, crlf=False, timestamp=None):
        """Lists the release and signs the list with the tests' key and the
        real minisign, as a maker does, dated now or at timestamp; crlf saves
        the list (before signing) and its signature with Windows line ends,
        as an editor on Windows may."""
        self.list_release(*names)
        path = os.path.join(self.www, "updater.b2sums")
        if crlf:
            self.put("updater.b2sums", self.served("updater.b2sums").replace(b"\n", b"\r\n"))
        key = os.path.join(harness.PATHS["signing-key-dir"], "test.sec")
        dated = [] if timestamp is None else [
            "-t", "timestamp:%d\tfile:updater.b2sums\thashed" % timestamp]
        subprocess.run([harness.PATHS["minisign"], "-S", "-s", key, "-m", path] + dated,
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       timeout=60)
        if crlf:
            signature = self.served("updater.b2sums.minisig")
            self.put("updater.b2sums.minisig", signature.replace(b"\n", b"\r\n"))

    def place(self, name, data):
        """A file already in the working folder before the start."""
        path = os.path.join(self.work, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def local(self, name):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()

    def work_files(self):
        found = set()
        for folder, _, names in os.walk(self.work):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.work))
        return found

    # ------------------------------------------------------------ the run

    def launch(self, answer="yes", env=None, program=PROGRAM):
        """Starts the program, with env's variables added for it alone;
        answers its boxes (Confirm with answer) until the main window shows
        or the program ends. Returns the driver's report."""
        saved = dict(self.desktop.env)
        self.desktop.env.update(env or {})
        try:
            self.program = self.desktop.start(harness.program(program), self.work)
        finally:
            self.desktop.env.clear()
            self.desktop.env.update(saved)
        report = self.desktop.driver("watch", program, answer, 90, timeout=150)
        self.assertFalse(report["timed_out"], "neither a window nor the end came")
        return report

    def wait_end(self, seconds=30):
        return self.program.wait(seconds)

    def requested(self):
        return [r["path"] for r in self.server.requests()]

    # ------------------------------------------------------------ checks

    def assert_box(self, box, title, text, buttons, icon):
        """icon: "information", "error" or "question", told apart by its pixels."""
        self.assertEqual(box["title"], title)
        self.assertEqual(box["text"], text)
        self.assertEqual([b["text"] for b in box["buttons"]], buttons)
        self.assertEqual(box["icon"], icon)
        self.assertFalse(box["owned"], "the box has no owner window")
        self.assertFalse(box["main_window_visible"], "the main window is still hidden")

    def control(self, window, control_id):
        matches = [c for c in window["controls"] if c["id"] == control_id]
        self.assertEqual(len(matches), 1, "control %d" % control_id)
        return matches[0]

    def launcher_buttons(self, window):
        return sorted((c for c in window["controls"] if c["id"] >= FIRST_LAUNCHER),
                      key=lambda c: c["id"])

    def assert_rect(self, control, left, top, width, height):
        r = control["rect"]
        self.assertEqual((r["left"], r["top"], r["width"], r["height"]),
                         (left, top, width, height), control["text"] or control["id"])
