#!/usr/bin/env python3
"""The installers as files, without Wine. The shipped one is a 32-bit
program asking for administrator rights, with its version and the
program's icon, carrying both programs and its uninstaller (read with 7-Zip,
so it is checked where the 32-bit installer cannot run). Their Authenticode signatures, read back with the real
osslsigncode: the test installer, built signed with a throwaway certificate
as a maker's signed build is, and the programs it carries are signed; the
default build's installer and programs are not; and a signing that fails
leaves the file as it was."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "windows"))
from check_exe import RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION, VERSION, read_res  # noqa: E402

ARGS = None


class ShippedInstaller(unittest.TestCase):

    def test_is_a_32_bit_installer_for_administrators_with_its_version_and_icon(self):
        headers = subprocess.run(["i686-w64-mingw32-objdump", "-p", ARGS.unsigned_setup],
                                 check=True, capture_output=True, text=True).stdout
        self.assertRegex(headers, r"file format pei-i386\n", "runs on both kinds of Windows")
        with tempfile.TemporaryDirectory() as tmp:
            res = os.path.join(tmp, "setup.res")
            subprocess.run(["i686-w64-mingw32-windres", "-i", ARGS.unsigned_setup,
                            "-O", "res", "-o", res], check=True)
            resources = read_res(res)

        root = ElementTree.fromstring(resources[(RT_MANIFEST, 1)])
        levels = [e.get("level") for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
        self.assertEqual(levels, ["requireAdministrator"])

        info = resources[(RT_VERSION, 1)]
        fixed = info.index(struct.pack("<I", 0xFEEF04BD))
        product_ms, product_ls = struct.unpack_from("<2I", info, fixed + 16)
        self.assertEqual((product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16,
                          product_ls & 0xFFFF), tuple(int(p) for p in VERSION.split(".")))
        for key, value in (("ProductVersion", VERSION), ("CompanyName", "Tavimo"),
                           ("ProductName", "Kestrune")):
            self.assertIn(("%s\0" % key).encode("utf-16-le"), info)
            self.assertIn(("%s\0" % value).encode("utf-16-le"), info, key)

        with open(ARGS.icon, "rb") as f:
            ico = f.read()
        size, offset = struct.unpack_from("<II", ico, 6 + 8)
        groups = [data for (kind, _), data in resources.items() if kind == RT_GROUP_ICON]
        self.assertEqual(len(groups), 1)
        icon_id = struct.unpack_from("<H", groups[0], 6 + 12)[0]
        self.assertEqual(resources[(RT_ICON, icon_id)], ico[offset:offset + size])

    def test_carries_the_64_bit_and_the_32_bit_program_and_the_uninstaller(self):
        with tempfile.TemporaryDirectory() as tmp:
            # -aou: the two programs share one name; the second is renamed.
            subprocess.run(["7z", "x", "-aou", "-o" + tmp, ARGS.unsigned_setup],
                           check=True, capture_output=True)
            names = sorted(n for n in os.listdir(tmp) if not n.startswith("$"))
            self.assertEqual(names, ["kestrune.exe", "kestrune_1.exe", "uninstall.exe"])
            carried = set()
            for name in ("kestrune.exe", "kestrune_1.exe"):
                with open(os.path.join(tmp, name), "rb") as f:
                    carried.add(f.read())
        programs = set()
        for path in (ARGS.unsigned_program, ARGS.program_x86):
            with open(path, "rb") as f:
                programs.add(f.read())
        self.assertEqual(carried, programs)


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
                 "unsigned-program", "program-x86", "sign-script", "cmake", "icon"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
