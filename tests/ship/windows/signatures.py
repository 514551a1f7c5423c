#!/usr/bin/env python3
"""The Authenticode signatures of the installers, read back with the real
osslsigncode: the test installer, built signed with a throwaway certificate
as a maker's signed build is, and the programs it carries are signed; the
default build's installer and programs are not; and a signing that fails
leaves the file as it was."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None


def verify(path):
    """(exit code, output) of osslsigncode verify against the throwaway
    certificate, its own root."""
    result = subprocess.run(
        [ARGS.osslsigncode, "verify", "-CAfile", os.path.join(ARGS.cert_dir, "test.pem"),
         "-in", path], capture_output=True, text=True, timeout=60)
    return result.returncode, result.stdout + result.stderr


class Signatures(unittest.TestCase):

    def assert_signed(self, path):
        code, output = verify(path)
        self.assertEqual(code, 0, "%s:\n%s" % (path, output))
        self.assertIn("Signature verification: ok", output)
        self.assertIn("CN=Kestrune test code signing", output)

    def assert_unsigned(self, path):
        code, output = verify(path)
        self.assertNotEqual(code, 0, path)
        self.assertIn("No signature found", output, path)

    def test_signed_build_signs_the_installer_and_both_programs_it_carries(self):
        self.assert_signed(ARGS.signed_setup)
        for arch in ("x64", "x86"):
            self.assert_signed(os.path.join(ARGS.signed_stage, arch, "kestrune.exe"))

    def test_default_build_signs_nothing(self):
        self.assert_unsigned(ARGS.unsigned_setup)
        # The build's own output stays unsigned even where a signed
        # installer carries a signed copy of a program.
        self.assert_unsigned(ARGS.unsigned_program)

    def test_a_failed_signing_leaves_the_file_untouched(self):
        with tempfile.TemporaryDirectory(prefix="kestrune-sign-") as work:
            target = os.path.join(work, "kestrune.exe")
            shutil.copyfile(ARGS.unsigned_program, target)
            with open(target, "rb") as f:
                before = f.read()
            wrong = os.path.join(work, "wrong-password.txt")
            with open(wrong, "w") as f:
                f.write("not the password\n")
            result = subprocess.run(
                [ARGS.cmake, "-DFILE=" + target,
                 "-DPKCS12=" + os.path.join(ARGS.cert_dir, "test.p12"),
                 "-DPASSWORD_FILE=" + wrong, "-DOSSLSIGNCODE=" + ARGS.osslsigncode,
                 "-P", ARGS.sign_script], capture_output=True, text=True, timeout=60)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("could not sign", result.stderr)
            with open(target, "rb") as f:
                self.assertEqual(f.read(), before)
            self.assertEqual(sorted(os.listdir(work)), ["kestrune.exe", "wrong-password.txt"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("osslsigncode", "cert-dir", "signed-setup", "signed-stage", "unsigned-setup",
                 "unsigned-program", "sign-script", "cmake"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
