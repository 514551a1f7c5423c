#!/usr/bin/env python3
"""kestrune-publish.exe, the Windows console build, under Wine: a release
folder with 8-bit names, a manifest written by 'new' from wide arguments,
and a live check over WinINet against the loopback test server."""
import json
import os
import shutil
import sys
import tempfile
import unittest

import harness

PUBLISH = None  # the console program, from --publish


class PublishUnderWine(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kestrune-publish-wine-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.desktop = harness.WineDesktop("publish")
        self.addCleanup(self.desktop.close)

    def publish(self, *args):
        code, output = self.desktop.run([PUBLISH] + list(args), timeout=120)
        return code, output

    def folder(self, *parts):
        path = os.path.join(self.root, *parts)
        os.makedirs(path, exist_ok=True)
        return path

    def test_check_and_new_as_a_maker_on_windows_runs_them(self):
        # A folder: the 8-bit name read through the ANSI code page, a file
        # only in another letter case, one missing.
        release = self.folder("release")
        with open(os.path.join(release, "updater.txt"), "wb") as f:
            f.write("Café\r\nRésumé.pdf\r\nCV\r\nsetup.exe\r\nSetup\r\nmissing.exe\r\nM\r\n"
                    .encode("cp1252"))
        for name in ("Résumé.pdf", "Setup.exe"):
            open(os.path.join(release, name), "wb").close()
        code, output = self.publish("check", "--json", harness.windows_path(release))
        report = json.loads(output)
        self.assertEqual(code, 1, output)
        self.assertEqual(report["entries"][0]["name"], "Résumé.pdf")
        self.assertEqual({(p["kind"], p["line"]) for p in report["problems"]},
                         {("case-mismatch", 4), ("missing-file", 6)})

        # new: wide arguments in, Windows-1252 with CR LF out.
        target = os.path.join(self.folder("new"), "updater.txt")
        code, output = self.publish("new", "--title", "Café", "-o", harness.windows_path(target),
                                    "Résumé.pdf", "Lebenslauf – öffnen")
        self.assertEqual(code, 0, output)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), "Café\r\nRésumé.pdf\r\nLebenslauf – öffnen\r\n"
                             .encode("cp1252"))

        # A live server over WinINet: a name with a space is no redirect,
        # a missing file and a real redirect are reported.
        served = self.folder("www", "serverlist")
        with open(os.path.join(served, "updater.txt"), "wb") as f:
            f.write(b"T\r\nok.exe\r\nA\r\nwith space.exe\r\nB\r\ngone.exe\r\nC\r\n"
                    b"moved.exe\r\nD\r\n")
        for name in ("ok.exe", "with space.exe", "moved.exe"):
            with open(os.path.join(served, name), "wb") as f:
                f.write(os.urandom(70000))
        server = harness.TestServer(self.root, "127.0.0.1", 0, rules={
            "/serverlist/moved.exe": {"redirect": "/serverlist/ok.exe"}})
        self.addCleanup(server.stop)
        url = "http://127.0.0.1:%d/serverlist/" % server.port
        code, output = self.publish("check", "--json", url)
        report = json.loads(output)
        self.assertEqual(code, 1, output)
        self.assertEqual({(p["kind"], p["line"]) for p in report["problems"]},
                         {("http-status", 6), ("redirect", 8)})
        self.assertEqual([e.get("bodyBytes") for e in report["entries"][:2]], [70000, 70000])


def main():
    global PUBLISH
    rest = harness.configure(sys.argv)
    if "--publish" not in rest:
        sys.exit("missing --publish")
    at = rest.index("--publish")
    PUBLISH = os.path.abspath(rest[at + 1])
    del rest[at:at + 2]
    unittest.main(argv=rest)


if __name__ == "__main__":
    main()
