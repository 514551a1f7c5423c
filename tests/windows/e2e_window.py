#!/usr/bin/env python3
"""The Windows program's window in use under Wine: clicks on the launcher
buttons and the pictures, the help hint, the keyboard and auto-scroll."""
import os
import shutil
import sys
import unittest

import harness
from scenario import EXIT_BTN, FIRST_LAUNCHER, IMAGE1, IMAGE2, LABEL1, PROGRAM, Scenario

HINT = "\r\n   Click here to open a Support Ticket with Tavimo   \r\n"
SB_LINEDOWN, SB_TOP, SB_BOTTOM = 1, 6, 7


def centre(control):
    r = control["screen"]
    return r["left"] + r["width"] // 2, r["top"] + r["height"] // 2


class WindowInUse(Scenario):

    def open_window(self, title, entries):
        for name, _ in entries:
            self.place(name, b"present")
        self.serve(title, entries)
        report = self.launch()
        self.assertEqual(report["boxes"], [])
        self.assertIsNotNone(report["main_window"])
        return report["main_window"]

    def dump(self):
        return self.desktop.driver("dump")

    def same_window(self, before):
        """Title, controls and their places as they were."""
        after = self.dump()
        self.assertTrue(after["visible"])
        self.assertEqual(after["title"], before["title"])
        self.assertEqual([(c["id"], c["text"], c["rect"]) for c in after["controls"]],
                         [(c["id"], c["text"], c["rect"]) for c in before["controls"]])

    def test_a_launcher_button_starts_its_program_in_the_launcher_folder(self):
        # In a sub-folder, so its own folder and the launcher's differ.
        self.serve("Programs", [("tools\\probe.exe", "Start the probe")])
        os.makedirs(os.path.join(self.work, "tools"))
        shutil.copy(harness.exe("kestrune_e2e_probe.exe"),
                    os.path.join(self.work, "tools", "probe.exe"))
        window = self.launch()["main_window"]
        button = self.launcher_buttons(window)[0]
        self.assertEqual(button["text"], "Start the probe")

        self.desktop.driver("click", button["id"])
        result = os.path.join(self.work, "tools", "probe_cwd.txt")
        self.assertTrue(harness.wait_for(lambda: os.path.exists(result), 30),
                        "the probe was started")
        def read_result():
            with open(result, encoding="utf-8") as f:
                return f.read()
        started_in = harness.wait_for(read_result, 5)
        self.assertEqual(started_in.lower(), harness.windows_path(self.work).lower())
        # A program is started by the launcher itself, with its rights.
        with open(os.path.join(self.work, "tools", "probe_started_by.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read().split("\n")[0], PROGRAM)
        self.same_window(window)

    def test_the_pictures_open_the_two_web_pages(self):
        window = self.open_window("Pages", [("a.txt", "A")])
        for control_id in (IMAGE1, IMAGE2):
            x, y = centre(self.control(window, control_id))
            self.desktop.xdotool("mousemove", x, y, "click", "1")
            count = 1 if control_id == IMAGE1 else 2
            harness.wait_for(lambda: len(self.desktop.opened()) >= count, 30)
        self.assertEqual(self.desktop.opened(),
                         [harness.SETTINGS["home-url"], harness.SETTINGS["support-url"]])
        self.same_window(window)
        # Clicks elsewhere open nothing.
        x, y = centre(self.control(window, LABEL1))
        self.desktop.xdotool("mousemove", x, y, "click", "1")
        self.assertEqual(len(self.desktop.opened()), 2)

    def test_the_help_icon_alone_shows_its_multi_line_hint(self):
        window = self.open_window("Hints", [("a.txt", "A")])

        def tip():
            tips = self.dump()["tooltips"]
            return tips[0] if tips and tips[0]["visible"] else None

        x, y = centre(self.control(window, IMAGE2))
        self.desktop.xdotool("mousemove", x - 2, y - 2)
        self.desktop.xdotool("mousemove", x, y)
        shown = harness.wait_for(tip, 10)
        self.assertIsNotNone(shown, "hovering the help icon shows its hint")
        self.desktop.screenshot("hint")
        self.assertEqual(shown["text"], HINT)
        # The line break before the sentence gives an empty line above it
        # (one after the last line adds none: DrawText's rule).
        self.assertGreaterEqual(shown["screen"]["height"], 2 * 13)
        self.assertEqual(shown["autopop"], 20000)

        for control_id in (EXIT_BTN, IMAGE1, LABEL1, FIRST_LAUNCHER):
            x, y = centre(self.control(window, control_id))
            self.desktop.xdotool("mousemove", x, y)
            # The help icon's hint goes once the tooltip sees the mouse
            # elsewhere, which a busy machine may take a moment to deliver;
            # then none comes back.
            self.assertTrue(harness.wait_for(lambda: tip() is None, 10),
                            "the hint goes when the mouse is over control %d" % control_id)
            self.assertIsNone(harness.wait_for(tip, 1.5, step=0.5),
                              "no hint over control %d" % control_id)

    def test_keys_move_through_exit_then_the_launcher_buttons_and_press_them(self):
        # Two copies of the probe, each leaving its mark beside itself: the
        # marks tell which button a key pressed.
        with open(harness.exe("kestrune_e2e_probe.exe"), "rb") as f:
            probe = f.read()
        entries = [("a\\probe.exe", "A"), ("b\\probe.exe", "B")]
        for name, _ in entries:
            self.place(name, probe)
        self.serve("Keys", entries)
        window = self.launch()["main_window"]
        mark = lambda folder: os.path.exists(os.path.join(self.work, folder, "probe_cwd.txt"))

        def key(name, focus):
            self.desktop.xdotool("key", name)
            self.assertTrue(harness.wait_for(lambda: self.dump()["focus_id"] == focus, 5),
                            "%s moves the focus to %d" % (name, focus))

        self.assertEqual(window["focus_id"], EXIT_BTN, "ExitBtn has the focus first")
        x, y = centre(self.control(window, LABEL1))
        self.desktop.xdotool("mousemove", x, y, "click", "1")
        key("Tab", FIRST_LAUNCHER)
        key("Tab", FIRST_LAUNCHER + 1)
        key("Tab", EXIT_BTN)
        key("shift+Tab", FIRST_LAUNCHER + 1)

        self.desktop.xdotool("key", "Return")
        self.assertTrue(harness.wait_for(lambda: mark("b"), 30), "Enter pressed B")
        key("shift+Tab", FIRST_LAUNCHER)
        self.desktop.xdotool("key", "space")
        self.assertTrue(harness.wait_for(lambda: mark("a"), 30), "Space pressed A")
        key("shift+Tab", EXIT_BTN)
        self.desktop.xdotool("key", "Return")
        self.assertEqual(self.wait_end(), 0, "Enter pressed Exit")

    def test_a_small_window_scrolls_its_controls(self):
        window = self.open_window("Scrolling", [("a.txt", "A"), ("b.txt", "B")])
        designed = {c["id"]: c["rect"] for c in window["controls"]}

        self.desktop.driver("resize", 300, 250)
        small = self.dump()
        self.assertTrue(small["vscroll"] and small["hscroll"], "both scroll bars appear")
        self.assertEqual({c["id"]: c["rect"] for c in small["controls"]}, designed,
                         "nothing moves until scrolled")

        self.desktop.driver("scroll", "v", SB_LINEDOWN)
        stepped = {c["id"]: c["rect"] for c in self.dump()["controls"]}
        for control_id, rect in designed.items():
            self.assertEqual(stepped[control_id]["top"], rect["top"] - 10, control_id)
            self.assertEqual(stepped[control_id]["left"], rect["left"])

        # At the end of each bar the last control's far edge meets the client edge.
        self.desktop.driver("scroll", "v", SB_BOTTOM)
        self.desktop.driver("scroll", "h", SB_BOTTOM)
        scrolled = self.dump()
        self.desktop.screenshot("scrolled")
        exit_rect = self.control(scrolled, EXIT_BTN)["rect"]
        icon_rect = self.control(scrolled, IMAGE2)["rect"]
        self.assertEqual(exit_rect["top"] + exit_rect["height"], scrolled["client"]["height"])
        self.assertEqual(icon_rect["left"] + icon_rect["width"], scrolled["client"]["width"])

        # The mouse wheel scrolls three lines a notch; the window is
        # activated first by a click on an empty spot of it.
        self.desktop.driver("scroll", "v", SB_TOP)
        self.desktop.driver("scroll", "h", SB_TOP)
        exit_btn = self.control(self.dump(), EXIT_BTN)
        top = exit_btn["rect"]["top"]
        origin_x = exit_btn["screen"]["left"] - exit_btn["rect"]["left"]
        origin_y = exit_btn["screen"]["top"] - exit_btn["rect"]["top"]
        self.desktop.xdotool("mousemove", origin_x + 20, origin_y + 100, "click", "1")
        self.desktop.xdotool("click", "5")
        self.assertTrue(harness.wait_for(
            lambda: self.control(self.dump(), EXIT_BTN)["rect"]["top"] == top - 30, 5),
            "one wheel notch down scrolls 30 pixels")

        # Back to full size: no bars, everything where it was designed.
        self.desktop.driver("resize", 434, 393)
        full = self.dump()
        self.assertFalse(full["vscroll"] or full["hscroll"])
        self.assertEqual({c["id"]: c["rect"] for c in full["controls"]}, designed)


if __name__ == "__main__":
    unittest.main(argv=harness.configure(sys.argv), verbosity=2)
