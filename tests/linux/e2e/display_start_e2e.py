#!/usr/bin/env python3
"""The Linux program started when its X display cannot take it yet, or at all.

Qt aborts, leaving a core and no box, when it cannot reach the display. An X
server started a moment after the program (an autostart entry, a script) or
one resetting after its last client left (Xvfb's default) both refused the
launcher's first connection.

Run:  display_start_e2e.py --program P
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest

OPTIONS = None


def free_display():
    """A display number no server holds; well above those -displayfd picks."""
    for n in range(600, 700):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise unittest.SkipTest("no free X display number between 600 and 699")


class DisplayStart(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="kestrune-display-")
        self.addCleanup(tmp.cleanup)
        self.work = os.path.join(tmp.name, "work")
        os.makedirs(self.work)
        self.runtime = tempfile.mkdtemp(dir=tmp.name)  # 0700, as Qt wants it
        self.errors = open(os.path.join(tmp.name, "stderr"), "w+b")
        self.addCleanup(self.errors.close)
        self.display = ":%d" % free_display()

    def start(self, program):
        env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime)
        proc = subprocess.Popen(program, env=env, cwd=self.work, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=self.errors)
        self.addCleanup(self.stop, proc)
        return proc

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def said(self):
        self.errors.seek(0)
        return self.errors.read().decode(errors="replace")

    def test_display_coming_up_late_and_resetting_gets_the_first_box(self):
        launcher = self.start([OPTIONS.program])
        time.sleep(0.5)
        self.assertIsNone(launcher.poll(), f"ended before its display came up: {self.said()}")
        # Without -noreset, as a user's Xvfb runs: each xdotool below that
        # leaves as the last client resets the server once more.
        self.start(["Xvfb", self.display, "-nolisten", "tcp", "-screen", "0", "1280x1024x24"])
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                   env=dict(os.environ, DISPLAY=self.display),
                                   capture_output=True, text=True).stdout.split()
            if shown:
                return
            self.assertIsNone(launcher.poll(), f"ended without a box (status "
                              f"{launcher.returncode}): {self.said()}")
            time.sleep(0.1)
        self.fail(f"no box within 30 s: {self.said()}")

    def test_no_display_ends_with_a_reason_and_no_core(self):
        launcher = self.start([OPTIONS.program])
        self.assertEqual(launcher.wait(30), 1, self.said())
        self.assertIn("kestrune: no display could be opened", self.said())


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
