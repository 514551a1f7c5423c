#!/usr/bin/env python3
"""The Debian start script, as configured for the package, on working
folders made for it in a temporary folder: it is copied where the package
puts it, with a stand-in where the launcher goes that tells the folder it
was started in.

    start_script_test.py --script FILE --script-to-program PATH GROUP

ForeignFolder needs a folder another user owns: made with chown when the
test runs as root, else by mounting a folder of root's over it in a user
namespace of the test's own, where root's files belong to no one known.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "support"))
import machine  # noqa: E402

OPTIONS = None
NOBODY = 65534
# Runs a command with the folder $1 covered by root's /usr, in a user
# namespace where root's files belong to no one known. Recursive, as a
# namespace may not uncover what lies under /usr's own mounts.
UNDER_ROOTS_FOLDER = ['unshare', '--user', '--map-root-user', '--mount', 'sh', '-c',
                      'mount --rbind /usr "$1" && shift && exec "$@"', 'sh']


class StartScript(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kestrune-start-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.script = os.path.join(self.tmp, "usr", "bin", "kestrune")
        os.makedirs(os.path.dirname(self.script))
        shutil.copy(OPTIONS.script, self.script)
        os.chmod(self.script, 0o755)  # as the package installs it
        stand_in = os.path.normpath(os.path.join(os.path.dirname(self.script),
                                                 OPTIONS.script_to_program))
        os.makedirs(os.path.dirname(stand_in))
        self.started_in = os.path.join(self.tmp, "started-in")
        with open(stand_in, "w") as f:
            f.write("#!/bin/sh\npwd -P > '%s'\n" % self.started_in)
        os.chmod(stand_in, 0o755)
        self.home = os.path.join(self.tmp, "home")
        os.makedirs(self.home, mode=0o700)
        self.folder = os.path.join(self.home, ".local", "share", "kestrune")

    def start(self, wrapper=()):
        """Runs the script as a desktop would, from another folder; returns
        its status, its standard error's lines and where the launcher was
        started (None: it was not)."""
        env = {"PATH": os.environ["PATH"], "HOME": self.home}
        done = subprocess.run(list(wrapper) + [self.script], cwd=self.tmp, env=env,
                              capture_output=True, text=True, timeout=30)
        started = None
        if os.path.exists(self.started_in):
            with open(self.started_in) as f:
                started = f.read().strip()
            os.remove(self.started_in)
        return done.returncode, done.stderr.splitlines(), started

    def assertRefused(self, reason, wrapper=()):
        code, said, started = self.start(wrapper)
        self.assertNotEqual(code, 0)
        self.assertEqual(len(said), 1, said)
        self.assertIn(self.folder + " " + reason, said[0])
        self.assertIsNone(started)


class OwnFolder(StartScript):
    def test_the_launcher_starts_in_a_private_folder_made_or_found(self):
        for found in (False, True):
            with self.subTest(found=found):
                self.assertEqual(self.start(), (0, [], self.folder))
                self.assertEqual(os.stat(self.folder).st_mode & 0o777, 0o700)

    def test_a_folder_others_could_change_is_refused(self):
        elsewhere = os.path.join(self.tmp, "elsewhere")
        os.makedirs(elsewhere, mode=0o700)
        os.makedirs(os.path.dirname(self.folder))
        with self.subTest("a symbolic link to a private folder"):
            os.symlink(elsewhere, self.folder)
            self.assertRefused("is a symbolic link")
            os.remove(self.folder)
        for mode in (0o770, 0o702):
            with self.subTest(mode=oct(mode)):
                os.makedirs(self.folder, exist_ok=True)
                os.chmod(self.folder, mode)
                self.assertRefused("can be written by other users (mode %o)" % mode)


class ForeignFolder(StartScript):
    def test_a_folder_another_user_owns_is_refused(self):
        os.makedirs(self.folder, mode=0o700)
        if os.geteuid() == 0:
            os.chown(self.folder, NOBODY, NOBODY)
            self.assertRefused("is not owned by you")
        else:
            self.assertRefused("is not owned by you", UNDER_ROOTS_FOLDER + [self.folder])


def why_no_foreign_folder():
    """None when this test can give the script a folder another user owns."""
    if os.geteuid() == 0:
        return None
    probe = subprocess.run(UNDER_ROOTS_FOLDER + [tempfile.gettempdir(), "true"],
                           capture_output=True, text=True)
    if probe.returncode != 0:
        said = probe.stderr.strip().splitlines()
        return ("no folder of another user: not root, and no user namespace to mount one in"
                + (": " + said[0] if said else ""))
    return None


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--script", required=True)
    parser.add_argument("--script-to-program", required=True)
    OPTIONS, rest = parser.parse_known_args()
    if "ForeignFolder" in rest:
        reason = why_no_foreign_folder()
        if reason:
            machine.skip(reason)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
