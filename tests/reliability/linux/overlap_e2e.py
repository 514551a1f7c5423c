#!/usr/bin/env python3
"""Two Linux launchers in one working directory, and a launcher killed
part-way, driven as users would.

Built on the end-to-end scenarios (tests/linux/e2e/launcher_e2e.py): the
same test build, test server, display and set-up; this adds a server that
holds the big file part-way until the case lets it go (the "hold" rule of
tests/support/http_server.py) and finds each launcher's boxes and window by
its process id.

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
# What a launcher may hold in memory before it writes: a held transfer's file
# stops short of what was sent by up to this much.
HELD = 64 * 1024
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
        # The two windows open at one place, nearly at once: the click goes
        # to whichever is on top, so this one is put there first.
        e2e.run("xdotool", "windowraise", wid)
        self.click(wid, e2e.scaled(297, h) + e2e.scaled(89, h) // 2,
                   e2e.scaled(320, h) + e2e.scaled(25, h) // 2)  # Exit
        try:
            self.assertEqual(proc.wait(20), 0)
        except subprocess.TimeoutExpired:
            self.fail(f"launcher {proc.pid} still runs 20 s after its window was closed")

    def kept(self):
        return sha256(os.path.join(self.work, BIG))

    def hold_big_file_after(self, sent):
        """Serves the big file up to sent bytes, the rest after release()."""
        self.gate = self.work + ".gate"
        self.start_server({"/serverlist/" + BIG: {"hold_after": sent, "hold_until": self.gate}})

    def release(self):
        open(self.gate, "w").close()

    # -------------------------------------------------------------- cases
    def test_two_launchers_downloading_at_once_both_keep_the_whole_file(self):
        self.hold_big_file_after(SIZE * 55 // 100)
        first = self.start()
        self.answer(self.wait_for(first, "Confirm"), "Return")
        # The second starts when the first is past half the file: a shared
        # temporary file would now be cut short under the first writer.
        part, inode = self.wait_for_part(SIZE * 55 // 100 - HELD)
        second = self.start()
        confirm = self.wait_for(second, "Confirm")
        # The second launcher's start-up, its clean-up of leftovers included,
        # is over once it asks: the first one's file is still there, growing.
        self.assertEqual(self.part_files().get(part), inode, "the running download's file went")
        size = os.path.getsize(os.path.join(self.work, part))
        self.answer(confirm, "Return")
        # Both are part-way through now, each into a file of its own.
        deadline = time.monotonic() + 30
        while len(self.part_files()) < 2 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(len(self.part_files()), 2, f"not two: {sorted(self.part_files())}")
        self.release()

        first_window = self.wait_for(first, "Tavimo")
        self.assertGreater(SIZE, size, "the first download ended before the second began")
        self.assertEqual(self.kept(), self.want, "the file when the first window showed")
        second_window = self.wait_for(second, "Tavimo")
        self.assertEqual(self.kept(), self.want, "the file when the second window showed")
        self.close(second, second_window)
        self.close(first, first_window)
        self.assertEqual(self.kept(), self.want)
        self.assert_same_file("small.txt")
        self.assert_no_temporary_files()

    def test_killed_launcher_leaves_nothing_the_next_start_keeps(self):
        self.hold_big_file_after(SIZE // 4)
        killed = self.start()
        self.answer(self.wait_for(killed, "Confirm"), "Return")
        part, _ = self.wait_for_part(SIZE // 4 - HELD)
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
