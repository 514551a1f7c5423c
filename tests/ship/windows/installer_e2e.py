#!/usr/bin/env python3
"""The installer under Wine, as a customer meets it: a silent install into a
fresh 64-bit Windows, a start through the Start-menu shortcut whose files
land in the install folder, an upgrade that keeps them, and a silent
uninstall that removes what belongs to the program and nothing else; then
the shipped installer on a 32-bit Windows."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "windows"))
import harness  # noqa: E402
import wine  # noqa: E402  (harness puts tests/support on the path)

ARGS = None
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrune"
INSTALL_DIR = r"C:\Program Files\Kestrune"
START_MENU_LINK = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrune.lnk"
DESKTOP_LINK = r"C:\users\Public\Desktop\Kestrune.lnk"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def files_under(folder):
    found = set()
    for parent, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(parent, name), folder).replace(os.sep, "\\"))
    return found


def unix(prefix, windows_path):
    """Where a C: path of the prefix is on this machine."""
    drive, rest = windows_path.split(":", 1)
    assert drive.upper() == "C", windows_path
    return os.path.join(prefix, "drive_c", *[p for p in rest.split("\\") if p])


def registry(run, key, view):
    """The values of a key through reg.exe in the 32- or 64-bit view, or
    None when it is not there."""
    code, output = run(["reg", "query", key, "/reg:%d" % view], timeout=60)
    if code != 0:
        return None
    values = {}
    for line in output.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) == 3 else ""
    return values


class InstallStartUpgradeUninstall(unittest.TestCase):
    """One customer's story on a 64-bit Windows, with the test installer
    (the end-to-end test build inside, signed with the tests' certificate)."""

    def setUp(self):
        self.desktop = harness.WineDesktop("installer")
        self.addCleanup(self.desktop.close)
        self.root = tempfile.mkdtemp(prefix="kestrune-installer-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.prefix = self.desktop.env["WINEPREFIX"]
        self.install_dir = unix(self.prefix, INSTALL_DIR)

    def run_windows(self, args, timeout=120):
        return self.desktop.run(args, timeout)

    def probe(self, *args):
        code, output = self.run_windows([ARGS.probe] + list(args), timeout=60)
        lines = [line for line in output.splitlines() if line.startswith("{")]
        self.assertEqual(code, 0, output)
        return json.loads(lines[-1])

    def serve(self):
        www = os.path.join(self.root, "www", "serverlist")
        write(os.path.join(www, "updater.txt"),
              b"Tavimo Tools\r\nnotes.txt\r\nRead the notes\r\ntool.bin\r\nThe tool\r\n")
        write(os.path.join(www, "notes.txt"), b"server notes\r\n")
        write(os.path.join(www, "tool.bin"), bytes(range(256)) * 40)
        server = harness.TestServer(self.root, harness.SETTINGS["host"],
                                    int(harness.SETTINGS["port"]))
        self.addCleanup(server.stop)
        return server

    def installed(self, name):
        return os.path.join(self.install_dir, *name.split("\\"))

    def assert_signed(self, path):
        result = subprocess.run(
            [ARGS.osslsigncode, "verify", "-CAfile", os.path.join(ARGS.cert_dir, "test.pem"),
             "-in", path], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, "%s: %s" % (path, result.stdout + result.stderr))

    def test_install_start_upgrade_uninstall(self):
        server = self.serve()
        staged_x64 = read(os.path.join(ARGS.stage, "x64", "kestrune.exe"))

        # ---- silent install, with the desktop shortcut asked for
        code, _ = self.run_windows([ARGS.setup, "/S", "/DESKTOP"], timeout=300)
        self.assertEqual(code, 0, "the silent install failed")
        self.assertEqual(files_under(self.install_dir), {"kestrune.exe", "uninstall.exe"})
        self.assertEqual(read(self.installed("kestrune.exe")), staged_x64,
                         "the 64-bit program in the 64-bit Program Files")
        self.assertFalse(os.path.exists(unix(self.prefix, r"C:\Program Files (x86)\Kestrune")))
        self.assert_signed(self.installed("kestrune.exe"))
        self.assert_signed(self.installed("uninstall.exe"))

        for link in (START_MENU_LINK, DESKTOP_LINK):
            shortcut = self.probe(link)
            self.assertEqual(shortcut["target"], INSTALL_DIR + r"\kestrune.exe", link)
            self.assertEqual(shortcut["working_dir"], INSTALL_DIR, link)
            self.assertEqual(shortcut["icon"], INSTALL_DIR + r"\kestrune.exe", link)
            self.assertEqual(shortcut["arguments"], "", link)

        entry = registry(self.run_windows, UNINSTALL_KEY, 64)
        self.assertIsNotNone(entry, "the uninstall entry in the 64-bit registry view")
        self.assertIsNone(registry(self.run_windows, UNINSTALL_KEY, 32),
                          "nothing in the 32-bit view")
        program_bytes = len(staged_x64) + os.path.getsize(self.installed("uninstall.exe"))
        self.assertEqual(entry, {
            "DisplayName": "Kestrune",
            "DisplayVersion": "1.1.1.0",
            "Publisher": "Tavimo",
            "DisplayIcon": INSTALL_DIR + r"\kestrune.exe,0",
            "InstallLocation": INSTALL_DIR,
            "UninstallString": '"%s\\uninstall.exe"' % INSTALL_DIR,
            "QuietUninstallString": '"%s\\uninstall.exe" /S' % INSTALL_DIR,
            "NoModify": "0x1",
            "NoRepair": "0x1",
            "EstimatedSize": hex((program_bytes + 1023) // 1024),
        })

        # ---- a start through the Start-menu shortcut, as a double click
        self.probe("open", START_MENU_LINK)
        report = self.desktop.driver("watch", "kestrune.exe", "yes", 90, timeout=150)
        self.assertIsNotNone(report["main_window"], report)
        self.assertEqual([box["title"] for box in report["boxes"]], ["Confirm"])
        self.desktop.screenshot("started")
        self.desktop.driver("close")
        self.assertTrue(harness.wait_for(
            lambda: "error" in self.desktop.driver("dump", allow_error=True), 30),
            "the launcher did not end")
        self.assertEqual(
            [r["path"] for r in server.requests()],
            ["/serverlist/updater.txt", "/serverlist/notes.txt", "/serverlist/tool.bin"])
        downloaded = {name: read(self.installed(name))
                      for name in ("updater1.txt", "notes.txt", "tool.bin")}
        self.assertEqual(downloaded["notes.txt"], b"server notes\r\n",
                         "the start's files land in the install folder")
        self.assertEqual(files_under(self.install_dir),
                         {"kestrune.exe", "uninstall.exe"} | set(downloaded))

        # ---- an upgrade: install again over it (over a damaged program,
        # next to a file of the user's own)
        write(self.installed("kestrune.exe"), b"an older program")
        write(self.installed("mine.txt"), b"the user's own")
        code, _ = self.run_windows([ARGS.setup, "/S"], timeout=300)
        self.assertEqual(code, 0, "the upgrade failed")
        self.assertEqual(read(self.installed("kestrune.exe")), staged_x64, "program replaced")
        for name, data in downloaded.items():
            self.assertEqual(read(self.installed(name)), data, name + " kept by the upgrade")
        self.assertEqual(read(self.installed("mine.txt")), b"the user's own")

        # ---- what the launcher may have left, and a kept manifest with
        # names the uninstaller must not follow
        for leftover in ("updater1.b2sums", "updater1.b2sums.minisig", "updater1.txt.minisig",
                         "updater1.verified.b2sums",
                         "tool.bin.4242-1.kestrune-part", "notes.txt.kestrune-part"):
            write(self.installed(leftover), b"left by the launcher")
        write(self.installed("sub\\inner.txt"), b"the user's own, in a folder")
        victim = unix(self.prefix, r"C:\Program Files\victim.txt")
        write(victim, b"not Kestrune's")
        hostile = [r"..\victim.txt", "x", "*", "x", r"C:\Program Files\victim.txt", "x",
                   r"sub\inner.txt", "x", "\x1a", "x", "mine.txt", "x"]
        with open(self.installed("updater1.txt"), "ab") as f:
            f.write(("\r\n".join(hostile) + "\r\n").encode("cp1252"))

        # ---- silent uninstall, the way Windows runs it
        quiet = entry["QuietUninstallString"]
        self.assertTrue(quiet.startswith('"') and quiet.endswith('" /S'), quiet)
        code, _ = self.run_windows([quiet[1:-4], "/S"])
        self.assertEqual(code, 0)
        # The uninstaller copies itself away and runs from there: the
        # registry entry, removed last, tells it has finished.
        self.assertTrue(harness.wait_for(
            lambda: registry(self.run_windows, UNINSTALL_KEY, 64) is None, 90, step=1),
            "the uninstall entry is still there")
        self.assertEqual(files_under(self.install_dir), {"mine.txt", "sub\\inner.txt"},
                         "only the user's own files stay, and so the folder")
        self.assertEqual(read(victim), b"not Kestrune's")
        for link in (START_MENU_LINK, DESKTOP_LINK):
            self.assertFalse(os.path.exists(unix(self.prefix, link)), link)


class ShippedInstallerOn32BitWindows(unittest.TestCase):
    """The default build's installer on a 32-bit Windows (a win32 prefix run
    by Wine's 32-bit loader): the 32-bit program in Program Files, and an
    uninstall that leaves no folder behind."""

    def setUp(self):
        root = tempfile.mkdtemp(prefix="kestrune-installer32-")
        self.addCleanup(shutil.rmtree, root, True)
        # No display: a silent install shows no window.
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WINEPREFIX")}
        self.env.update({"WINEPREFIX": os.path.join(root, "prefix"), "WINEARCH": "win32",
                         "HOME": root, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                         "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.loader = wine.find("wine")
        self.addCleanup(subprocess.run, [wine.server(), "-k"], env=self.env, timeout=60)

    def run_windows(self, args, timeout=120):
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([self.loader] + list(args), env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def test_installs_and_removes_the_32_bit_program(self):
        prefix = self.env["WINEPREFIX"]
        code, _ = self.run_windows([ARGS.shipped_setup, "/S"], timeout=300)
        self.assertEqual(code, 0)
        install_dir = unix(prefix, INSTALL_DIR)
        self.assertEqual(read(os.path.join(install_dir, "kestrune.exe")),
                         read(ARGS.program_x86))
        entry = registry(self.run_windows, UNINSTALL_KEY, 32)
        self.assertIsNotNone(entry)
        self.assertEqual(entry["InstallLocation"], INSTALL_DIR)

        code, _ = self.run_windows([INSTALL_DIR + r"\uninstall.exe", "/S"])
        self.assertEqual(code, 0)
        self.assertTrue(harness.wait_for(lambda: not os.path.exists(install_dir), 90, step=1),
                        "the install folder is still there: %s" % (files_under(install_dir),))
        self.assertIsNone(registry(self.run_windows, UNINSTALL_KEY, 32))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("setup", "stage", "shipped-setup", "probe", "program-x86", "osslsigncode",
                 "cert-dir"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    rest = harness.configure([sys.argv[0]] + rest)
    unittest.main(argv=rest)
