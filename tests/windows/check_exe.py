#!/usr/bin/env python3
"""What kestrune.exe carries, read back from the built file with the MinGW
binutils: the architecture it was built for, only DLLs that the loader takes
from the system folder whatever lies beside the exe (or the maker's tool), the hardening flags, the manifest, the version and the icon.

Usage: check_exe.py --exe FILE --tool FILE --icon FILE --arch x86_64|i686
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

ARGS = None

# What objdump calls each architecture's programs, and the address-space flag
# each is linked with: high-entropy randomisation exists for 64-bit programs
# only, a 32-bit one asks instead for the 4 GB a 64-bit Windows can give it.
FORMATS = {"x86_64": "pei-x86-64", "i686": "pei-i386"}
ADDRESS_SPACE_FLAGS = {"x86_64": "HIGH_ENTROPY_VA", "i686": "large address aware"}

# The DLLs on the KnownDLLs list of every Windows the program supports (Vista
# to 11), and ntdll, which is always the system's: the loader takes these
# from the system folder. Any other DLL the exe imported would be looked for
# first in the exe's own folder, where the downloads land, and an elevated
# launcher would run it before its entry. Not every Windows lists wininet
# (7 did, 8 and later do not), so it and uxtheme are loaded at run time
# from the system folder instead. advapi32 gives the static libsodium its
# random numbers (RtlGenRandom).
KNOWN_DLLS = {"ntdll.dll", "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
              "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
              "comdlg32.dll", "imm32.dll", "imagehlp.dll", "msctf.dll", "normaliz.dll",
              "nsi.dll", "rpcrt4.dll", "setupapi.dll", "wldap32.dll", "ws2_32.dll"}
# No known DLL, but the manifest's Common-Controls 6 dependency (checked
# below) takes it from the side-by-side store.
SIDE_BY_SIDE_DLLS = {"comctl32.dll"}
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
# Written out, not taken from the build: a wrong version in the build
# itself must show here.
VERSION = "1.1.1.0"


def read_res(path):
    """The entries of a .res file: {(type, name): data}, ordinal ids only."""
    with open(path, "rb") as f:
        blob = f.read()
    entries, offset = {}, 0
    while offset + 8 <= len(blob):
        data_size, header_size = struct.unpack_from("<II", blob, offset)
        header = blob[offset + 8:offset + header_size]

        def ident(pos):
            if struct.unpack_from("<H", header, pos)[0] == 0xFFFF:
                return struct.unpack_from("<H", header, pos + 2)[0], pos + 4
            end = pos
            while struct.unpack_from("<H", header, end)[0] != 0:
                end += 2
            return header[pos:end].decode("utf-16-le"), end + 2

        kind, pos = ident(0)
        name, _ = ident(pos)
        start = offset + header_size
        if data_size:
            entries[(kind, name)] = blob[start:start + data_size]
        offset = (start + data_size + 3) & ~3
    return entries


class ExecutableContents(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        triple = ARGS.arch + "-w64-mingw32"
        cls.headers = subprocess.run([triple + "-objdump", "-p", ARGS.exe], check=True,
                                     capture_output=True, text=True).stdout
        with tempfile.TemporaryDirectory() as tmp:
            res = os.path.join(tmp, "kestrune.res")
            subprocess.run([triple + "-windres", "-i", ARGS.exe, "-O", "res", "-o", res],
                           check=True)
            cls.resources = read_res(res)

    def test_is_built_for_its_architecture(self):
        self.assertRegex(self.headers, r"file format %s\n" % FORMATS[ARGS.arch])

    def test_needs_only_dlls_that_windows_ships(self):
        # The maker's tool too: it runs from wherever it was saved, on the
        # machine that holds the signing key.
        triple = ARGS.arch + "-w64-mingw32"
        for program in (ARGS.exe, ARGS.tool):
            with self.subTest(program=os.path.basename(program)):
                headers = subprocess.run([triple + "-objdump", "-p", program], check=True,
                                         capture_output=True, text=True).stdout
                dlls = {line.split(":", 1)[1].strip().lower()
                        for line in headers.splitlines() if "DLL Name:" in line}
                self.assertIn("kernel32.dll", dlls)  # the import table was read at all
                self.assertEqual(dlls - KNOWN_DLLS - SIDE_BY_SIDE_DLLS, set(),
                                 "imported DLLs the loader may take from the program's folder")

    def test_is_a_hardened_gui_program(self):
        for flag in ("DYNAMIC_BASE", "NX_COMPAT", ADDRESS_SPACE_FLAGS[ARGS.arch]):
            self.assertIn(flag, self.headers)
        self.assertRegex(self.headers, r"Subsystem\s+0+2\s+\(Windows GUI\)")

    def test_manifest_asks_for_administrator_themed_controls_and_vista_to_10(self):
        manifest = self.resources[(RT_MANIFEST, 1)]
        root = ElementTree.fromstring(manifest)
        level = [e for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
        self.assertEqual([e.get("level") for e in level], ["requireAdministrator"])
        identities = [e for e in root.iter() if e.tag.endswith("assemblyIdentity")
                      and e.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual([e.get("version") for e in identities], ["6.0.0.0"])
        systems = {e.get("Id").lower() for e in root.iter() if e.tag.endswith("supportedOS")}
        self.assertEqual(systems, SUPPORTED_OS)

    def test_manifest_declares_the_program_aware_of_the_system_dpi(self):
        root = ElementTree.fromstring(self.resources[(RT_MANIFEST, 1)])
        settings = "{http://schemas.microsoft.com/SMI/%s/WindowsSettings}%s"
        values = lambda tag: [e.text.strip() for e in root.iter(tag)]
        # Vista to 8.1 read dpiAware; Windows 10 from 1607 reads dpiAwareness first.
        self.assertEqual(values(settings % ("2005", "dpiAware")), ["true"])
        self.assertEqual(values(settings % ("2016", "dpiAwareness")), ["system"])

    def test_version_is_1_1_1_0(self):
        info = self.resources[(RT_VERSION, 1)]
        fixed = info.index(struct.pack("<I", 0xFEEF04BD))
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", info, fixed + 8)
        expected = tuple(int(p) for p in VERSION.split("."))
        as_tuple = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        self.assertEqual(as_tuple(file_ms, file_ls), expected)
        self.assertEqual(as_tuple(product_ms, product_ls), expected)
        for key in ("FileVersion", "ProductVersion"):
            needle = (key + "\0").encode("utf-16-le")
            at = info.index(needle) + len(needle)
            at += at % 4  # the value starts on a 32-bit boundary
            value = info[at:].decode("utf-16-le").split("\0", 1)[0]
            self.assertEqual(value, VERSION, key)

    def test_icon_is_the_48_pixel_32_bit_program_icon(self):
        with open(ARGS.icon, "rb") as f:
            ico = f.read()
        _, _, count = struct.unpack_from("<HHH", ico, 0)
        self.assertEqual(count, 1)
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6)
        self.assertEqual((width, height, bits), (48, 48, 32))

        group = self.resources[(RT_GROUP_ICON, 1)]
        self.assertEqual(struct.unpack_from("<HHH", group, 0)[2], 1)
        g_width, g_height, _, _, _, g_bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
        self.assertEqual((g_width, g_height, g_bits), (48, 48, 32))
        self.assertEqual(self.resources[(RT_ICON, icon_id)], ico[offset:offset + size])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tool", required=True, help="kestrune-publish.exe")
    parser.add_argument("--icon", required=True)
    parser.add_argument("--arch", required=True, choices=sorted(FORMATS))
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
