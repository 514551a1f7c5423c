#!/usr/bin/env python3
"""Two Windows launchers in one working folder, and a launcher ended the way
the task manager ends it, under Wine.

Built on the Windows end-to-end harness (tests/windows/harness.py and
scenario.py): one Wine desktop for both cases, the loopback test server
holding the big file part-way until a case lets it go (its "hold" rule). Each launcher of a case runs from a copy of the
test build named for it, so the driver tells their boxes and windows apart.
"""
import concurrent.futures
import hashlib
import json
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "windows"))
import harness  # noqa: E402
from scenario import PROGRAM, Scenario  # noqa: E402

BIG = "big.bin"
SIZE = 1024 * 1024
# What a launcher may hold in memory before it writes: a held transfer's file
# stops short of what was sent by up to this much.
HELD = 64 * 1024
PART = ".kestrune-part"


class Overlap(Scenario):

    def setUp(self):
        super().setUp()
        self.content = os.urandom(SIZE)
        self.gate = os.path.join(self.root, "gate")
        self.want = hashlib.sha256(self.content).hexdigest()
        self.serve("Tavimo", [(BIG, "Big"), ("small.txt", "Small")],
                   files={BIG: self.content, "small.txt": b"small\r\n"},
                   rules={"/serverlist/" + BIG: {"hold_after": SIZE // 2,
                                                 "hold_until": self.gate}})
        self.bin = os.path.join(self.root, "bin")
        os.makedirs(self.bin)
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
        self.running = []

    def tearDown(self):
        for proc in self.running:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.pool.shutdown()
        super().tearDown()

    def start(self, name):
        """Starts a copy of the test build named name in the working folder and
        a driver that answers Yes to its boxes; returns (process, the driver's
        coming report)."""
        program = os.path.join(self.bin, name)
        shutil.copy(harness.program(PROGRAM), program)
        proc = self.desktop.start(program, self.work)
        self.running.append(proc)
        report = self.pool.submit(self.desktop.driver, "watch", name, "yes", 150, timeout=200)
        return proc, report

    def part_files(self):
        return [n for n in os.listdir(self.work) if n.endswith(PART)]

    def wait_for_part(self, at_least, seconds=90):
        def grown():
            for name in self.part_files():
                try:
                    if os.path.getsize(os.path.join(self.work, name)) >= at_least:
                        return name
                except FileNotFoundError:
                    pass
            return None
        name = harness.wait_for(grown, seconds, step=0.05)
        self.assertTrue(name, "no temporary file reached %d bytes: %s"
                        % (at_least, sorted(os.listdir(self.work))))
        return name

    def kept(self):
        with open(os.path.join(self.work, BIG), "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    def assert_window_after_yes(self, report, who):
        self.assertFalse(report["timed_out"], who + ": neither a window nor the end came")
        boxes = [(b["title"], b["text"]) for b in report["boxes"]]
        self.assertEqual([title for title, _ in boxes], ["Confirm"], "%s saw %s" % (who, boxes))
        self.assertIsNotNone(report["main_window"], who + " ended without its window")

    def close_all(self):
        """Closes the launchers' windows one by one, as their close boxes would."""
        live = [p for p in self.running if p.poll() is None]
        while live:
            self.desktop.driver("close")
            self.assertTrue(harness.wait_for(lambda: any(p.poll() is not None for p in live), 30),
                            "no launcher ended when a window was closed")
            live = [p for p in live if p.poll() is None]

    # -------------------------------------------------------------- cases
    def test_two_launchers_downloading_at_once_both_keep_the_whole_file(self):
        first, first_report = self.start("kestrune_first.exe")
        # The second starts while the first is half-way through the file: one
        # shared temporary file would be refused to it, or cut short under
        # the first. Once both are half-way, both go on at once, so that the
        # second's move into place can meet the first's file still open.
        self.wait_for_part(SIZE // 2 - HELD)
        second, second_report = self.start("kestrune_second.exe")
        self.assertTrue(harness.wait_for(lambda: len(self.part_files()) == 2, 90),
                        "not two temporary files: %s" % self.part_files())
        open(self.gate, "w").close()

        report = first_report.result()
        at_first_window = self.kept()
        self.assert_window_after_yes(report, "the first launcher")
        self.assertEqual(at_first_window, self.want, "the file when the first window showed")
        report = second_report.result()
        at_second_window = self.kept()
        self.assert_window_after_yes(report, "the second launcher")
        self.assertEqual(at_second_window, self.want, "the file when the second window showed")
        self.assertEqual(self.requested().count("/serverlist/" + BIG), 2,
                         "both launchers downloaded the file")
        self.close_all()
        self.assertEqual(self.kept(), self.want)
        self.assertEqual(self.local("small.txt"), b"small\r\n")
        self.assertEqual(self.part_files(), [])

    def test_ended_launcher_leaves_nothing_the_next_start_keeps(self):
        name = "kestrune_ended.exe"
        ended, report = self.start(name)
        part = self.wait_for_part(SIZE // 2 - HELD)
        code, _ = self.desktop.run(["taskkill", "/F", "/IM", name], timeout=60)
        self.assertEqual(code, 0, "taskkill could not end the launcher")
        self.assertTrue(report.result()["exited"])
        ended.wait(30)
        self.assertFalse(os.path.exists(os.path.join(self.work, BIG)))

        with open(self.server.rules_path, "w") as f:
            json.dump({}, f)  # the next start at full speed
        _, report = self.start("kestrune_again.exe")
        self.assert_window_after_yes(report.result(), "the next start")
        self.assertEqual(self.kept(), self.want)
        self.assertNotIn(part, os.listdir(self.work), "the ended launcher's file is left")
        self.close_all()
        self.assertEqual(self.part_files(), [])


if __name__ == "__main__":
    sys.argv = harness.configure(sys.argv)
    unittest.main(verbosity=2)
