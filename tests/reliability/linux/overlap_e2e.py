#!/usr/bin/env python3
"""Two Linux launchers in one working directory, and a launcher killed
part-way, driven as users would.

Built on the end-to-end scenarios (tests/linux/e2e/launcher_e2e.py): the
same test build, test server, display and set-up; this adds a slow server
(the "rate" rule of tests/support/http_server.py) and finds each launcher's
boxes and window by its process id.

Run one case:  overlap_e2e.py --program P --clipboard-probe C ... Overlap.test_x
"""
import hashlib
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "linux", "e2e"))
import launcher_e2e as e2e  # noqa: E402

BIG = "big.bin"
SIZE = 6 * 1024 * 1024
RATE = 384 * 1024  # bytes a second: the whole file takes 16 s
PART = ".kestrune-part"


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Overlap(e2e.Scenarios):

    def setUp(self):
        super().setUp()
        self.launchers = []
        self.addCleanup(self._stop_launchers)
        self.content = os.urandom(SIZE)
        self.publish("Tavimo", [(BIG, "Big", self.content), ("small.txt", "Small", b"s\n")])
        self.want = hashlib.sha256(self.content).hexdigest()

    def _stop_launchers(self):
        for proc in self.launchers:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    def start(self):
        self.launcher = None
        self.start_launcher()
        self.launchers.append(self.launcher)
        return self.launcher

    def windows_of(self, proc):
        """Title by window id of the visible windows the process shows."""
        ids = e2e.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(proc.pid),
                      "--name", "", check=False).split()
        return {wid: title for wid, title in self.visible_windows().items() if wid in ids}

    def wait_for(self, proc, title, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            shown = self.windows_of(proc)
            for wid, name in shown.items():
                if name == title:
                    return wid
            unexpected = set(shown.values()) - {"Confirm", "Tavimo"}
            self.assertFalse(unexpected, f"launcher {proc.pid} showed {unexpected}")
            if proc.poll() is not None:
                self.fail(f"launcher {proc.pid} ended (code {proc.returncode}) without {title!r}: "
                          + self.launcher_errors())
            time.sleep(0.1)
        self.fail(f"launcher {proc.pid} showed no {title!r} within {timeout} s")

    def part_files(self):
        return {n: os.stat(os.path.join(self.work, n)).st_ino
                for n in os.listdir(self.work) if n.endswith(PART)}

    def wait_for_part(self, at_least, timeout=40):
        """(name, inode) of the one temporary file once it holds at_least bytes."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for name in self.part_files():
                try:
                    if os.path.getsize(os.path.join(self.work, name)) >= at_least:
                        return name, os.stat(os.path.join(self.work, name)).st_ino
                except FileNotFoundError:
                    pass
            time.sleep(0.05)
        self.fail(f"no temporary file reached {at_least} bytes: {sorted(os.listdir(self.work))}")

    def close(self, proc, wid):
        self.assertEqual(self.windows_of(proc).get(wid), "Tavimo")
        h = self.text_height(wid)
        self.click(wid, e2e.scaled(297, h) + e2e.scaled(89, h) // 2,
                   e2e.scaled(320, h) + e2e.scaled(25, h) // 2)  # Exit
        try:
            self.assertEqual(proc.wait(20), 0)
        except subprocess.TimeoutExpired:
            self.fail(f"launcher {proc.pid} still runs 20 s after its window was closed")

    def kept(self):
        return sha256(os.path.join(self.work, BIG))

    # -------------------------------------------------------------- cases
    def test_two_launchers_downloading_at_once_both_keep_the_whole_file(self):
        self.start_server({"/serverlist/" + BIG: {"rate": RATE}})
        first = self.start()
        self.answer(self.wait_for(first, "Confirm"), "Return")
        # The second starts when the first is past half the file: a shared
        # temporary file would now be cut short under the first writer. The
        # 7 s left to the first are the second's time to start and ask.
        part, inode = self.wait_for_part(SIZE * 55 // 100)
        second = self.start()
        confirm = self.wait_for(second, "Confirm")
        # The second launcher's start-up, its clean-up of leftovers included,
        # is over once it asks: the first one's file is still there, growing.
        self.assertEqual(self.part_files().get(part), inode, "the running download's file went")
        size = os.path.getsize(os.path.join(self.work, part))
        self.answer(confirm, "Return")

        first_window = self.wait_for(first, "Tavimo")
        self.assertGreater(SIZE, size, "the first download ended before the second began")
        self.assertEqual(self.kept(), self.want, "the file when the first window showed")
        second_window = self.wait_for(second, "Tavimo")
        self.assertEqual(self.kept(), self.want, "the file when the second window showed")
        # The second window was mapped last, over the first: closed first.
        self.close(second, second_window)
        self.close(first, first_window)
        self.assertEqual(self.kept(), self.want)
        self.assert_same_file("small.txt")
        self.assert_no_temporary_files()

    def test_killed_launcher_leaves_nothing_the_next_start_keeps(self):
        self.start_server({"/serverlist/" + BIG: {"rate": RATE}})
        killed = self.start()
        self.answer(self.wait_for(killed, "Confirm"), "Return")
        part, _ = self.wait_for_part(SIZE // 4)
        killed.send_signal(signal.SIGKILL)
        self.assertEqual(killed.wait(10), -signal.SIGKILL)
        self.assertFalse(os.path.exists(os.path.join(self.work, BIG)))

        with open(self.rules_path, "w") as f:
            f.write("{}")  # the next start at full speed
        again = self.start()
        self.answer(self.wait_for(again, "Confirm"), "Return")
        window = self.wait_for(again, "Tavimo")
        self.assertEqual(self.kept(), self.want)
        self.assertNotIn(part, os.listdir(self.work), "the killed launcher's file is left")
        self.close(again, window)
        self.assert_no_temporary_files()


def load_tests(loader, tests, pattern):
    # Only this module's cases, not the scenarios it builds on.
    return loader.loadTestsFromNames(
        ["Overlap." + n for n in vars(Overlap) if n.startswith("test_")], sys.modules[__name__])


if __name__ == "__main__":
    e2e.main()
