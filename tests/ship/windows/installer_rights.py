#!/usr/bin/env python3
"""What the installer does to the folder it installs into, under Wine: it
installs only into a new or empty folder or an earlier install of ours; it
asks Windows' icacls for the rights of Program Files (Administrators and
SYSTEM full control, Users read and run, nothing from the parent, owned by
Administrators), for the folder and what is in it; and where that cannot be
done it installs nothing.

The shipped installer is a 32-bit program, which some machines of ours
cannot run; these stories run the same script made as a 64-bit installer.
Wine's icacls changes nothing, so a stand-in records how it was called:
what the rights then are can only be seen on Windows."""
import argparse
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "windows"))
import harness  # noqa: E402

ARGS = None
# Outside Program Files, where the parent's rights would otherwise reach in;
# the space checks the folder is passed on whole.
INSTALL_DIR = r"C:\Kestrune Tools"
ICACLS = r"C:\windows\system32\icacls.exe"
EXPECTED_CALLS = [
    "/setowner *S-1-5-32-544 /T /C /Q",
    "/reset /T /C /Q",
    "/inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F "
    "*S-1-5-32-545:(OI)(CI)RX /C /Q",
]
CALL = re.compile(r'^"(?P<program>[^"]+)" "(?P<folder>[^"]+)" (?P<arguments>.*)$')


class InstallFolderRights(unittest.TestCase):

    def setUp(self):
        self.desktop = harness.WineDesktop("installer-rights")
        self.addCleanup(self.desktop.close)
        self.prefix = self.desktop.env["WINEPREFIX"]
        self.icacls = os.path.join(self.prefix, "drive_c", "windows", "system32", "icacls.exe")
        self.install_dir = os.path.join(self.prefix, "drive_c", "Kestrune Tools")
        self.log = os.path.join(self.desktop.root, "icacls.txt")
        self.desktop.env["KESTRUNE_ICACLS_LOG"] = harness.windows_path(self.log)
        # The system folder's files are linked to the run's template prefix:
        # the link goes, the template's file stays.
        os.remove(self.icacls)

    def use_stand_in(self):
        shutil.copy(ARGS.stand_in, self.icacls)
        # NOTE: Wine runs its own icacls in place of a file of that name in
        # the system folder unless told to take the file.
        self.desktop.env["WINEDLLOVERRIDES"] += ";icacls.exe=n"

    def install(self):
        """The silent install's exit code."""
        # NOTE: NSIS reads /D= only unquoted and last; Wine quotes an argument
        # with a space, so the folder goes in two arguments it joins.
        code, output = self.desktop.run([ARGS.setup, "/S"] + ("/D=" + INSTALL_DIR).split(" "),
                                        timeout=300)
        print(output)
        return code

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            calls = [CALL.match(line.rstrip("\n")) for line in f]
        self.assertNotIn(None, calls, "a call not of the form \"icacls\" \"folder\" ...")
        self.assertEqual([c["program"].lower() for c in calls], [ICACLS.lower()] * len(calls))
        self.assertEqual([c["folder"] for c in calls], [INSTALL_DIR] * len(calls))
        return [c["arguments"] for c in calls]

    def place(self, name, data):
        os.makedirs(self.install_dir, exist_ok=True)
        with open(os.path.join(self.install_dir, name), "wb") as f:
            f.write(data)

    def test_the_install_folder_and_an_earlier_install_get_the_rights_of_program_files(self):
        self.use_stand_in()
        self.assertEqual(self.install(), 0)
        self.assertEqual(sorted(os.listdir(self.install_dir)), ["kestrune.exe", "uninstall.exe"])
        self.assertEqual(self.calls(), EXPECTED_CALLS)
        # Installed again over what the launcher then keeps there: the
        # folder the uninstall entry names is ours, contents and all.
        self.place("updater1.txt", b"Tools\r\nnotes.txt\r\nNotes\r\n")
        self.place("notes.txt", b"downloaded")
        self.assertEqual(self.install(), 0)
        self.assertEqual(self.calls(), EXPECTED_CALLS * 2)

    def test_a_folder_holding_files_of_its_own_is_refused(self):
        self.use_stand_in()
        self.place("setup.exe", b"put there by someone else")
        self.assertEqual(self.install(), 2)
        self.assertEqual(os.listdir(self.install_dir), ["setup.exe"])
        self.assertEqual(self.calls(), [], "nothing done to the folder")

    def test_an_install_whose_rights_cannot_be_set_writes_nothing(self):
        # On a drive that keeps no rights, and without icacls at all: nothing
        # installed, and the folder made for the install is gone again.
        self.use_stand_in()
        self.desktop.env["KESTRUNE_ICACLS_FAILS"] = "1"
        self.assertEqual(self.install(), 2)
        self.assertEqual(len(self.calls()), 3, "every call was tried")
        self.assertFalse(os.path.exists(self.install_dir))
        os.remove(self.icacls)
        self.assertEqual(self.install(), 2)
        self.assertFalse(os.path.exists(self.install_dir))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("setup", "stand-in"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    rest = harness.configure([sys.argv[0]] + rest)
    unittest.main(argv=rest)
