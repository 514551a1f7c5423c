#!/usr/bin/env python3
"""The start-up outcomes of the Windows program under Wine: which boxes the
user sees, which files are written, and whether the window opens."""
import os
import subprocess
import sys
import threading
import time
import unittest

import harness
import wine
from scenario import (EXIT_BTN, GERMAN, IMAGE1, IMAGE2, LABEL1, PROGRAM, PROGRESS_PROGRAM,
                      REPLACING_PROGRAM, SIGNED_PROGRAM, Scenario)

QUESTION = "Kestrune needs to download some updated files to work properly. Allow Download?"
MANIFEST_PROBLEM = "Problem with updater.txt. Please contact Tavimo"
UPDATE_PROBLEM = "Problem with function update. Please contact Tavimo"
REFUSED = "Unable to run Kestrune without the updated files"
WHITE = (255, 255, 255)


def noise(size, seed):
    state, out = seed, bytearray()
    for _ in range(size):
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        out.append(state >> 24)
    return bytes(out)


class StartupScenarios(Scenario):

    def test_all_files_present_opens_the_window_with_one_button_per_entry(self):
        self.place("notes.txt", b"local notes")
        self.place("tool.bin", b"local tool")
        # Different on the server: a present file is never fetched again.
        # The title's "&" is the maker's text, not an accelerator's mark.
        self.serve("Tavimo Tools & More", [("notes.txt", "Read the notes"),
                                         ("  tool.bin ", "  Second tool  ")],
                   files={"notes.txt": b"server notes", "tool.bin": b"server tool"})
        report = self.launch()
        self.assertEqual(report["boxes"], [])
        window = report["main_window"]
        shot = self.desktop.screenshot("all-present")

        self.assertEqual(window["class"], "TForm1")
        self.assertEqual(window["title"], "Tavimo Tools & More")
        self.assertEqual((window["window"]["width"], window["window"]["height"]), (434, 393))
        self.assertTrue(window["overlapped_window"], "resizable, system menu, min and max boxes")
        self.assertTrue(window["app_window"] and not window["owned"],
                        "the taskbar button belongs to the main window")
        self.assertFalse(window["vscroll"] or window["hscroll"])

        self.assert_rect(self.control(window, IMAGE1), 8, 8, 81, 81)
        self.assert_rect(self.control(window, IMAGE2), 377, 8, 33, 33)
        self.assert_rect(self.control(window, EXIT_BTN), 297, 320, 89, 25)
        self.assertEqual(self.control(window, EXIT_BTN)["text"], "Exit")
        label = self.control(window, LABEL1)
        self.assertEqual(label["text"], "Tavimo Tools & More")
        self.assertEqual((label["rect"]["left"], label["rect"]["top"]), (104, 40))
        self.assertEqual(label["rect"]["width"], window["title_width_as_it_stands"],
                         "sized to its text, the & included")

        buttons = self.launcher_buttons(window)
        self.assertEqual([b["text"] for b in buttons], ["Read the notes", "Second tool"])
        for i, button in enumerate(buttons):
            self.assert_rect(button, 35, 120 + 40 * i, 250, 25)
        self.assertEqual(window["tab_order"], [EXIT_BTN] + [b["id"] for b in buttons])

        # The help icon's hint is the only one, with the 20 s hide pause.
        self.assertEqual(len(window["tooltips"]), 1)
        self.assertEqual(window["tooltips"][0]["tools"], 1)
        self.assertEqual(window["tooltips"][0]["autopop"], 20000)

        self.assert_drawn(shot, window)

        self.assertEqual(self.requested(), ["/serverlist/updater.txt"])
        self.assertEqual(self.local("notes.txt"), b"local notes")
        self.assertEqual(self.local("tool.bin"), b"local tool")
        # Enter presses the button that has had the focus from the start, once
        # a click on the label has made the window active.
        self.assertEqual(window["focus_id"], EXIT_BTN)
        spot = self.control(window, LABEL1)["screen"]
        self.desktop.xdotool("mousemove", spot["left"] + 5, spot["top"] + 5, "click", "1")
        self.desktop.xdotool("key", "Return")
        self.assertEqual(self.wait_end(), 0)

    def assert_drawn(self, shot, window):
        """The pictures, the grey bold title and the white window, as drawn."""
        def screen(control_id, width=None, height=None):
            r = dict(self.control(window, control_id)["screen"])
            r["width"] = width or r["width"]
            r["height"] = height or r["height"]
            return r

        logo = harness.pixels(shot, screen(IMAGE1, 77, 77))
        self.assertGreater(sum(p != WHITE for p in logo), len(logo) // 2, "the logo is drawn")
        right_of_logo = dict(screen(IMAGE1))
        right_of_logo["left"] += 77
        right_of_logo["width"] = 4
        self.assertTrue(all(p == WHITE for p in harness.pixels(shot, right_of_logo)),
                        "the logo is drawn unstretched at the top-left of its control")

        icon = harness.pixels(shot, screen(IMAGE2, 31, 31))
        disc = [p for p in icon if max(p) - min(p) <= 12 and 150 < p[0] < 210]
        self.assertGreater(len(disc), 200, "the help icon's light-grey disc")
        # The disc's soft edge, blended with the white behind it.
        edge = [p for p in icon if max(p) - min(p) <= 12 and 215 < p[0] < 250]
        self.assertGreater(len(edge), 5, "the icon is drawn with its alpha")
        self.assertEqual(icon[0], WHITE, "the icon's transparent corner shows the window")

        label = harness.pixels(shot, screen(LABEL1))
        self.assertGreater(sum(p == (128, 128, 128) for p in label), 20, "grey title text")
        self.assertEqual(label[0], WHITE, "the label has no background of its own")
        # Drawn as it was measured: with the & left out, the text would end a
        # glyph short of the label's right edge.
        width = screen(LABEL1)["width"]
        inked = [i % width for i, p in enumerate(label) if p != WHITE]
        self.assertGreaterEqual(max(inked), width - 4, "the whole title is drawn")

        empty = dict(screen(EXIT_BTN))
        empty["top"] -= 40
        self.assertTrue(all(p == WHITE for p in harness.pixels(shot, empty)), "white window")

    def test_missing_files_and_yes_download_each_once(self):
        files = {"big.bin": noise(70000, 1), "small.txt": b"a few bytes\r\n", "empty.dat": b""}
        self.place("present.txt", b"here already")
        self.serve("Downloads", [("big.bin", "Big"), ("present.txt", "Present"),
                                 ("small.txt", "Small"), ("empty.dat", "Empty")],
                   files=files, rules={"/serverlist/small.txt": {"chunked": True}})
        # On a German system too, the question's buttons are the program's own.
        report = self.launch("yes", env=GERMAN)

        self.assertEqual(len(report["boxes"]), 1, "exactly one question")
        box = report["boxes"][0]
        self.assert_box(box, "Confirm", QUESTION, ["&Yes", "&No"], "question")
        self.assertEqual(box["default_id"], 6, "Yes is the default")
        centre_x = box["screen"]["left"] + box["screen"]["width"] / 2
        centre_y = box["screen"]["top"] + box["screen"]["height"] / 2
        self.assertAlmostEqual(centre_x, report["main_window"]["screen_width"] / 2, delta=2)
        self.assertAlmostEqual(centre_y, report["main_window"]["screen_height"] / 2, delta=2)

        self.assertIsNotNone(report["main_window"])
        self.desktop.screenshot("downloaded")
        for name, data in files.items():
            self.assertEqual(self.local(name), data, name)
        self.assertEqual(self.work_files(), set(files) | {"present.txt", "updater1.txt"})
        self.assertEqual(self.requested(), ["/serverlist/updater.txt", "/serverlist/big.bin",
                                            "/serverlist/small.txt", "/serverlist/empty.dat"])
        self.assertEqual({r["agent"] for r in self.server.requests()}, {PROGRAM})

        # The close box ends the program as Exit does.
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    def test_an_8_bit_name_is_asked_for_as_a_standard_server_stores_it(self):
        # The manifest holds the name in Windows-1252; the server, like any
        # standard one, has the file under its UTF-8 name.
        self.serve("Menu", [("Caf\u00e9 menu.txt", "Menu")],
                   files={"Caf\u00e9 menu.txt": b"soup\r\n"})
        self.assertIsNotNone(self.launch("yes")["main_window"])
        self.assertEqual(self.requested(), ["/serverlist/updater.txt",
                                            "/serverlist/Caf%C3%A9%20menu.txt"])
        self.assertEqual(self.local("Caf\u00e9 menu.txt"), b"soup\r\n")
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    def test_answer_no_ends_the_program_without_downloading(self):
        self.serve("Refused", [("one.bin", "One"), ("two.bin", "Two")],
                   files={"one.bin": b"1", "two.bin": b"2"})
        report = self.launch("no")
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm", "Information"])
        self.assertEqual(report["boxes"][0]["answered"], 7)
        self.assert_box(report["boxes"][1], "Information", REFUSED, ["OK"], "information")
        self.assertIsNone(report["main_window"], "the window is never shown")
        self.assertTrue(report["exited"])
        self.assertEqual(self.wait_end(), 0)
        self.assertEqual(self.work_files(), {"updater1.txt"})
        self.assertEqual(self.requested(), ["/serverlist/updater.txt"])

    def test_unreachable_manifest_is_reported_and_the_previous_copy_kept(self):
        # Nothing listens on the test build's address.
        self.place("updater1.txt", b"Old title\r\nold.bin\r\nOld\r\n")
        report = self.launch()
        self.assertEqual(len(report["boxes"]), 1)
        self.assert_box(report["boxes"][0], "Information", MANIFEST_PROBLEM, ["OK"], "information")
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        self.assertEqual(self.local("updater1.txt"), b"Old title\r\nold.bin\r\nOld\r\n")
        self.assertEqual(self.work_files(), {"updater1.txt"})
        self.desktop.screenshot("unreachable")

    def test_manifest_error_page_is_reported(self):
        self.place("updater1.txt", b"Kept\r\n")
        self.serve("unused", [], rules={"/serverlist/updater.txt": {"status": 404}})
        report = self.launch()
        self.assertEqual([b["text"] for b in report["boxes"]], [MANIFEST_PROBLEM])
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        self.assertEqual(self.local("updater1.txt"), b"Kept\r\n")
        self.assertEqual(self.requested(), ["/serverlist/updater.txt"])

    def test_one_failed_download_of_three_is_reported_once_and_ends(self):
        files = {"a.bin": noise(3000, 2), "b.bin": noise(5000, 3), "c.bin": noise(4000, 4)}
        self.serve("Partly", [("a.bin", "A"), ("b.bin", "B"), ("c.bin", "C")], files=files,
                   rules={"/serverlist/b.bin": {"reset_after": 1000}})
        report = self.launch("yes")
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm", "Information"])
        self.assert_box(report["boxes"][1], "Information", UPDATE_PROBLEM, ["OK"], "information")
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        self.assertEqual(self.local("a.bin"), files["a.bin"])
        self.assertEqual(self.local("c.bin"), files["c.bin"])
        # Nothing of the cut-off file: no partial copy, no temporary file.
        self.assertEqual(self.work_files(), {"a.bin", "c.bin", "updater1.txt"})
        self.assertEqual(self.requested()[1:],
                         ["/serverlist/a.bin", "/serverlist/b.bin", "/serverlist/c.bin"])

    def test_file_error_is_shown_in_an_error_box_then_the_window_opens(self):
        # The entry's folder does not exist, and downloads create none.
        self.serve("Broken folder", [("nofolder\\tool.bin", "Tool")],
                   files={"tool.bin": b"tool"})
        report = self.launch("yes")
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm", "Kestrune"])
        self.assert_box(report["boxes"][1], "Kestrune", "Path not found.", ["OK"], "error")
        window = report["main_window"]
        self.assertIsNotNone(window, "the window opens after an error box")
        self.assertEqual(window["title"], "Broken folder")
        self.assertEqual(self.launcher_buttons(window), [], "start-up ended before the buttons")
        self.desktop.screenshot("file-error")

    def test_more_than_five_entries_grow_the_window(self):
        entries = [("tool%d.exe" % i, "Tool %d" % i) for i in range(7)]
        for name, _ in entries:
            self.place(name, b"x")
        self.serve("Seven", entries)
        window = self.launch()["main_window"]
        self.desktop.screenshot("seven-entries")
        self.assertEqual((window["window"]["width"], window["window"]["height"]), (434, 393 + 80))
        self.assert_rect(self.control(window, EXIT_BTN), 297, 320 + 80, 89, 25)
        buttons = self.launcher_buttons(window)
        self.assertEqual(len(buttons), 7)
        for i, button in enumerate(buttons):
            self.assert_rect(button, 35, 120 + 40 * i, 250, 25)
            self.assertEqual(button["text"], "Tool %d" % i)
        self.assertFalse(window["vscroll"], "everything fits")

    # The build with the maker's option to show the downloads' progress.

    def test_progress_window_shows_each_download_then_the_main_window(self):
        files = {"big.bin": noise(300000, 10), "notes.bin": noise(200000, 11)}
        self.serve("Tools & More", [("big.bin", "Big file"), ("notes.bin", "Notes")], files=files,
                   rules={"/serverlist/big.bin": {"rate": 150000}})
        watched = {}
        watcher = threading.Thread(target=lambda: watched.update(
            report=self.launch("yes", program=PROGRESS_PROGRAM)))
        watcher.start()
        # About half-way through the first file's two seconds.
        if harness.wait_for(lambda: "/serverlist/big.bin" in self.requested(), 60):
            time.sleep(1)
            self.desktop.screenshot("progress")
        watcher.join(150)
        report = watched["report"]
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertFalse(report["boxes"][0]["progress_visible"], "nothing before the Yes")
        seen = report["progress"]
        self.assertTrue(seen, "no progress window")
        self.assertEqual({(s["title"], s["button"], s["taskbar"]) for s in seen},
                         {("Tools & More", "Cancel", True)})
        self.assertTrue(seen[0]["button_focused"])
        first = [s["position"] for s in seen if s["lines"] == ["Big file", "file 1 of 2"]]
        self.assertGreater(len(set(first)), 2, "the bar does not move: %s" % first)
        self.assertEqual(first, sorted(first))
        self.assertIn(["Notes", "file 2 of 2"], [s["lines"] for s in seen])
        self.assertIsNotNone(report["main_window"])
        self.assertFalse(report["progress_visible_at_end"], "still there beside the main window")
        for name, data in files.items():
            self.assertEqual(self.local(name), data, name)
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    def test_cancel_in_the_progress_window_ends_as_a_no(self):
        self.serve("Tools", [("a.bin", "A"), ("big.bin", "Big"), ("c.bin", "C")],
                   files={"a.bin": b"a", "big.bin": noise(3000000, 12), "c.bin": b"c"},
                   rules={"/serverlist/big.bin": {"rate": 200000}})
        report = self.launch("cancel", program=PROGRESS_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm", "Information"])
        self.assert_box(report["boxes"][1], "Information", REFUSED, ["OK"], "information")
        self.assertFalse(report["boxes"][1]["progress_visible"], "closed before the box")
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        # What was fetched before the Cancel stays; nothing after is asked for.
        self.assertEqual(self.work_files(), {"a.bin", "updater1.txt"})
        self.assertEqual(self.requested(), ["/serverlist/updater.txt", "/serverlist/a.bin",
                                            "/serverlist/big.bin"])

    # The build with the tests' key: only files the signed list of the
    # release vouches for are kept.

    def test_signed_release_is_kept_with_its_list(self):
        files = {"tool.exe": noise(40000, 5), "Caf\u00e9 menu.txt": b"soup\r\n",
                 "tools/setup.exe": b"MZ setup"}
        # The manifest names the file in Windows-1252 and its folder with a
        # backslash; the list, as b2sum prints it, in UTF-8 and with a slash.
        self.serve("Signed", [("tool.exe", "Tool"), ("Caf\u00e9 menu.txt", "Menu"),
                              ("tools\\setup.exe", "Setup")], files=files)
        # Saved with Windows line ends, as a maker signing on Windows may.
        self.sign(*files, crlf=True)
        os.makedirs(os.path.join(self.work, "tools"))
        report = self.launch("yes", program=SIGNED_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertIsNotNone(report["main_window"])
        self.desktop.screenshot("signed")
        for name, data in files.items():
            self.assertEqual(self.local(name), data, name)
        # The list and its signature are kept with the manifest, so the next
        # start takes no older list.
        self.assertEqual(self.local("updater1.b2sums"), self.served("updater.b2sums"))
        self.assertEqual(self.local("updater1.b2sums.minisig"),
                         self.served("updater.b2sums.minisig"))
        self.assertEqual(self.work_files(),
                         set(files) | {"updater1.txt", "updater1.b2sums", "updater1.b2sums.minisig"})
        # One signature for the whole release, fetched before any file.
        self.assertEqual(self.requested(), [
            "/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig",
            "/serverlist/updater.b2sums", "/serverlist/tool.exe",
            "/serverlist/Caf%C3%A9%20menu.txt", "/serverlist/tools/setup.exe"])
        # One after another, over one connection kept open between them.
        connections = {r["connection"] for r in self.server.requests()}
        self.assertEqual(len(connections), 1, self.server.requests())
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    def test_signed_build_refuses_files_another_release_or_folder_signed(self):
        # The maker signed an earlier release whose setup.exe is now known
        # to be vulnerable; that file and its list are still out there.
        old_setup = noise(5000, 6)
        self.manifest("Release 1", [("setup.exe", "Setup")])
        self.put("setup.exe", old_setup)
        self.sign("setup.exe")
        files = {"setup.exe": noise(5000, 7), "tools/setup.exe": noise(4000, 8),
                 "good.bin": noise(3000, 9)}
        self.serve("Release 2", [("setup.exe", "Setup"), ("tools\\setup.exe", "Tools setup"),
                                 ("good.bin", "Good")], files=files)
        self.sign(*files)
        # An attacker on the path swaps in files the maker signed elsewhere.
        self.put("setup.exe", old_setup)
        self.put("tools/setup.exe", files["setup.exe"])
        os.makedirs(os.path.join(self.work, "tools"))
        report = self.launch("yes", program=SIGNED_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]],
                         ["Confirm", "Information", "Information"])
        for box in report["boxes"][1:]:
            self.assert_box(box, "Information", UPDATE_PROBLEM, ["OK"], "information")
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        self.assertEqual(self.local("good.bin"), files["good.bin"])
        self.assertEqual(self.work_files(), {"good.bin", "updater1.txt", "updater1.b2sums",
                                             "updater1.b2sums.minisig"})
        self.assertEqual(self.requested()[3:], ["/serverlist/setup.exe",
                                                "/serverlist/tools/setup.exe",
                                                "/serverlist/good.bin"])

    def test_a_release_signed_before_the_builds_minimum_is_refused_on_a_first_start(self):
        minimum = int(harness.SETTINGS["minimum-release-timestamp"])
        self.serve("Current", [("tool.exe", "Tool")], files={"tool.exe": b"MZ"})
        # A list the maker signed long ago, replayed to a new folder.
        self.sign("tool.exe", timestamp=minimum - 1)
        report = self.launch(program=SIGNED_PROGRAM)
        self.assertEqual(len(report["boxes"]), 1)
        self.assert_box(report["boxes"][0], "Information", MANIFEST_PROBLEM, ["OK"], "information")
        self.assertTrue(report["exited"])
        self.assertFalse(os.path.exists(os.path.join(self.work, "tool.exe")))
        self.sign("tool.exe", timestamp=minimum)
        report = self.launch("yes", program=SIGNED_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertEqual(self.local("tool.exe"), b"MZ")
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    # The build with the maker's option to replace changed files.

    def test_a_changed_file_held_by_a_running_program_is_replaced_at_a_later_start(self):
        entries = [("tool.exe", "Tool"), ("notes.txt", "Notes")]
        self.serve("Release 1", entries, files={"tool.exe": b"MZ 1", "notes.txt": b"n 1"})
        self.sign("tool.exe", "notes.txt")
        self.place("tool.exe", b"damaged")
        self.place("notes.txt", b"n 1")
        # The signed build without the option trusts what is there; the
        # first start of the build with it hashes each copy once and mends
        # the damaged one.
        report = self.launch(program=SIGNED_PROGRAM)
        self.assertEqual(report["boxes"], [])
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)
        report = self.launch("yes", program=REPLACING_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertEqual(self.local("tool.exe"), b"MZ 1")
        self.assertEqual(self.requested()[-1], "/serverlist/tool.exe")
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

        # The next release changes tool.exe while the customer runs it.
        self.put("tool.exe", b"MZ 2")
        self.sign("tool.exe", "notes.txt")
        held = os.path.join(self.work, "tool.exe")
        holder_exe = harness.exe("kestrune_e2e_holder.exe")
        holder = subprocess.Popen(
            [wine.loader(holder_exe), holder_exe, harness.windows_path(held)],
            env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(holder.kill)
        self.assertTrue(harness.wait_for(lambda: os.path.exists(held + ".held"), 60))
        report = self.launch("yes", program=REPLACING_PROGRAM)
        # Asked, fetched, and left for later without a box of its own.
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertIsNotNone(report["main_window"])
        self.assertEqual(self.local("tool.exe"), b"MZ 1")
        self.assertEqual(self.requested()[-1], "/serverlist/tool.exe")
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

        os.remove(held + ".held")
        holder.wait(30)
        report = self.launch("yes", program=REPLACING_PROGRAM)
        self.assertEqual([b["title"] for b in report["boxes"]], ["Confirm"])
        self.assertEqual(self.local("tool.exe"), b"MZ 2")
        self.assertEqual(self.local("notes.txt"), b"n 1")
        self.assertEqual(self.local("updater1.b2sums"), self.served("updater.b2sums"))
        self.assertEqual(self.work_files(), {"tool.exe", "notes.txt", "updater1.txt",
                                             "updater1.b2sums", "updater1.b2sums.minisig",
                                             "updater1.verified.b2sums"})
        self.desktop.driver("close")
        self.assertEqual(self.wait_end(), 0)

    def test_signed_build_refuses_an_unsigned_list_and_keeps_the_previous_copies(self):
        self.manifest("Release 1", [("new.bin", "New")])
        self.put("new.bin", b"old")
        self.sign("new.bin")
        kept = {"updater1.txt": b"Old title\r\nold.bin\r\nOld\r\n",
                "updater1.b2sums": self.served("updater.b2sums"),
                "updater1.b2sums.minisig": self.served("updater.b2sums.minisig")}
        for name, data in kept.items():
            self.place(name, data)
        self.serve("New title", [("new.bin", "New")], files={"new.bin": b"new"})
        self.list_release("new.bin")
        os.remove(os.path.join(self.www, "updater.b2sums.minisig"))
        report = self.launch(program=SIGNED_PROGRAM)
        self.assertEqual(len(report["boxes"]), 1)
        self.assert_box(report["boxes"][0], "Information", MANIFEST_PROBLEM, ["OK"], "information")
        self.assertIsNone(report["main_window"])
        self.assertTrue(report["exited"])
        for name, data in kept.items():
            self.assertEqual(self.local(name), data, name)
        self.assertEqual(self.work_files(), set(kept))
        self.assertEqual(self.requested(),
                         ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig"])


class HighDpiClassicLook(Scenario):
    """A prefix of its own at 144 dpi, with visual styles off."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            for key, value, kind, data in (
                    (r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", "144"),
                    (r"HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager",
                     "ThemeActive", "REG_SZ", "0")):
                code, _ = cls.desktop.run(["reg", "add", key, "/v", value, "/t", kind, "/d", data,
                                           "/f"], 60)
                if code != 0:
                    raise RuntimeError("reg add %s %s failed" % (key, value))
        except BaseException:
            cls.tearDownClass()
            raise

    def test_the_designed_controls_grow_with_the_text_the_launcher_buttons_do_not(self):
        entries = [("tool%d.exe" % i, "Tool %d" % i) for i in range(7)]
        for name, _ in entries:
            self.place(name, b"x")
        self.serve("Large", entries)
        window = self.launch()["main_window"]
        shot = self.desktop.screenshot("high-dpi-classic")
        self.assertEqual(window["dpi"], 144)
        height = window["text_height"]
        self.assertGreater(height, 13)
        scaled = lambda value: (value * height + 6) // 13

        growth = 2 * 40  # two entries past the fifth, a pitch each, unscaled
        self.assertEqual((window["window"]["width"], window["window"]["height"]),
                         (scaled(434), scaled(393) + growth))
        for control_id, (left, top, width, tall) in ((IMAGE1, (8, 8, 81, 81)),
                                                     (IMAGE2, (377, 8, 33, 33))):
            self.assert_rect(self.control(window, control_id),
                             scaled(left), scaled(top), scaled(width), scaled(tall))
        self.assert_rect(self.control(window, EXIT_BTN),
                         scaled(297), scaled(320) + growth, scaled(89), scaled(25))
        label = self.control(window, LABEL1)
        self.assertEqual((label["rect"]["left"], label["rect"]["top"]), (scaled(104), scaled(40)))
        for i, button in enumerate(self.launcher_buttons(window)):
            self.assert_rect(button, 35, 120 + 40 * i, 250, 25)

        # Without visual styles the label has the grey-text colour behind it.
        corner = dict(label["screen"], width=1, height=1)
        self.assertEqual(harness.pixels(shot, corner), [tuple(window["gray_text"])])


if __name__ == "__main__":
    unittest.main(argv=harness.configure(sys.argv), verbosity=2)
