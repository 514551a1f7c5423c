#!/usr/bin/env python3
"""The Debian package as a user's system gets it.

Makes the package with cpack from the build folder into a folder of its own,
has lintian judge it, unpacks it with dpkg-deb and checks what the desktop
and man find there; then starts the unpacked start script as the desktop
entry would, on the X display this process was started on (through
tests/support/xvfb.py), and checks where the unpacked launcher runs.

    deb_package_test.py --cpack CPACK --build-dir DIR --version V
"""
import argparse
import configparser
import gzip
import os
import shlex
import struct
import subprocess
import sys
import tempfile
import time
import unittest

OPTIONS = None


def run(*argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, **kwargs)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._tmp = tempfile.TemporaryDirectory(prefix="kestrune-deb-")
        cls.base = cls._tmp.name
        out = os.path.join(cls.base, "out")
        made = run(OPTIONS.cpack, "--config", os.path.join(OPTIONS.build_dir, "CPackConfig.cmake"),
                   "-B", out)
        if made.returncode != 0:
            cls._tmp.cleanup()
            raise AssertionError(f"cpack failed:\n{made.stdout}\n{made.stderr}")
        cls.deb = os.path.join(out, f"kestrune_{OPTIONS.version}_amd64.deb")
        cls.root = os.path.join(cls.base, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def path(self, installed):
        return os.path.join(self.root, installed.lstrip("/"))

    def test_lintian_finds_no_error_or_warning(self):
        judged = run("lintian", "--tag-display-limit", "0", self.deb)
        print(judged.stdout, end="")
        problems = [line for line in judged.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(problems, [])
        # 0 with no error, 1 with one, 2 when lintian itself failed.
        self.assertEqual(judged.returncode, 0, judged.stderr)

    def test_desktop_entry_starts_the_script_with_the_packaged_icon(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(self.path("/usr/share/applications/kestrune.desktop"), encoding="utf-8")
        desktop = entry["Desktop Entry"]
        command = shlex.split(desktop["Exec"])[0]
        # A bare name is looked up on PATH: /usr/bin is where a package puts it.
        script = self.path(command if command.startswith("/") else "/usr/bin/" + command)
        self.assertTrue(os.access(script, os.X_OK), f"{command} is not in the package")
        with open(script, "rb") as f:
            self.assertEqual(f.readline(), b"#!/bin/sh\n")
        icon = self.path(f"/usr/share/icons/hicolor/48x48/apps/{desktop['Icon']}.png")
        with open(icon, "rb") as f:
            header = f.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", header[16:24]), (48, 48))

    def test_man_pages_render_where_man_looks(self):
        for name in ("kestrune", "kestrune-publish"):
            page = self.path(f"/usr/share/man/man1/{name}.1.gz")
            with gzip.open(page) as f:
                self.assertTrue(f.read().startswith(b".TH " + name.upper().encode()), name)
            shown = run("man", "--warnings", "-l", page,
                        env=dict(os.environ, MANPAGER="cat", MANWIDTH="80", LC_ALL="C.UTF-8"))
            self.assertEqual((shown.returncode, shown.stderr), (0, ""), name)
            self.assertIn(name, shown.stdout)

    def start_from_desktop(self, home, data_home):
        """Starts the unpacked /usr/bin/kestrune from another folder, as a
        desktop would, and returns it once its process is the launcher."""
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy")}
        env["HOME"] = home
        env.pop("XDG_DATA_HOME", None)
        if data_home is not None:
            env["XDG_DATA_HOME"] = data_home
        process = subprocess.Popen([self.path("/usr/bin/kestrune")], cwd=self.base, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(self.stop, process)
        program = os.path.realpath(self.path("/usr/libexec/kestrune/kestrune"))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                if os.readlink(f"/proc/{process.pid}/exe") == program:
                    return process
            except FileNotFoundError:
                pass
            if process.poll() is not None:
                self.fail(f"the start script ended ({process.returncode}): "
                          f"{process.stderr.read().decode(errors='replace')}")
            time.sleep(0.02)
        self.fail("the start script did not become the packaged launcher")

    @staticmethod
    def stop(process):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        process.stderr.close()

    def test_start_script_runs_the_launcher_in_the_users_own_folder(self):
        home = os.path.join(self.base, "home")
        os.makedirs(home)
        data_home = os.path.join(self.base, "data")
        for chosen, folder in ((None, os.path.join(home, ".local", "share", "kestrune")),
                               (data_home, os.path.join(data_home, "kestrune"))):
            with self.subTest(XDG_DATA_HOME=chosen):
                launcher = self.start_from_desktop(home, chosen)
                self.assertEqual(os.readlink(f"/proc/{launcher.pid}/cwd"), folder)
                self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
                # The stripped program runs: its first box shows, whatever
                # answers at the built-in update address.
                shown = run("xdotool", "search", "--sync", "--onlyvisible", "--pid",
                            str(launcher.pid), timeout=30)
                self.assertEqual(shown.returncode, 0, shown.stderr)
                self.stop(launcher)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    OPTIONS, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("deb_package_test.py needs an X display (run it through tests/support/xvfb.py)")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
