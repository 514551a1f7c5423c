#!/usr/bin/env python3
"""What the installer does to the folder it installs into, under Wine: it
asks Windows' icacls for the rights of Program Files (Administrators and
SYSTEM full control, Users read and run, nothing from the parent, owned by
Administrators), and an install where that cannot be done still completes.

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
    "/setowner *S-1-5-32-544 /C /Q",
    "/reset /C /Q",
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

    def install(self):
        # NOTE: NSIS reads /D= only unquoted and last; Wine quotes an argument
        # with a space, so the folder goes in two arguments it joins.
        code, output = self.desktop.run([ARGS.setup, "/S"] + ("/D=" + INSTALL_DIR).split(" "),
                                        timeout=300)
        self.assertEqual(code, 0, output)
        for name in ("kestrune.exe", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(self.install_dir, name)), name)

    def test_the_install_folder_is_given_the_rights_of_program_files(self):
        shutil.copy(ARGS.stand_in, self.icacls)
        # NOTE: Wine runs its own icacls in place of a file of that name in
        # the system folder unless told to take the file.
        self.desktop.env["WINEDLLOVERRIDES"] += ";icacls.exe=n"
        self.install()
        with open(self.log, encoding="utf-8") as f:
            calls = [CALL.match(line.rstrip("\n")) for line in f]
        self.assertNotIn(None, calls, "a call not of the form \"icacls\" \"folder\" ...")
        self.assertEqual([c["program"].lower() for c in calls], [ICACLS.lower()] * len(calls))
        self.assertEqual([c["folder"] for c in calls], [INSTALL_DIR] * len(calls))
        self.assertEqual([c["arguments"] for c in calls], EXPECTED_CALLS)

    def test_an_install_without_icacls_still_completes(self):
        self.install()
        self.assertFalse(os.path.exists(self.log))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("setup", "stand-in"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    rest = harness.configure([sys.argv[0]] + rest)
    unittest.main(argv=rest)
