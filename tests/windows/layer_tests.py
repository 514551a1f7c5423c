#!/usr/bin/env python3
"""Runs the Win32 layer's own tests (kestrune_win32_tests.exe, GoogleTest)
under Wine, against the loopback test server and a scratch folder."""
import os
import re
import shutil
import socket
import sys
import tempfile
import unittest

import harness


def pattern_bytes(size):
    # The same generator as PatternBytes in layer_tests.cpp.
    state, out = 12345, bytearray()
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out.append(state >> 24)
    return bytes(out)


def gtest_verdict(output):
    """The number of tests GoogleTest ran and the names of those that failed,
    from its console summary; None for the count when there is no summary
    (the program died before it)."""
    ran = re.search(r"^\[=+\] (\d+) tests? from .* ran\.", output, re.M)
    failed = re.findall(r"^\[  FAILED  \] (\S+\.\S+)", output, re.M)
    return (int(ran.group(1)) if ran else None), sorted(set(failed))


def cached_bodies(prefix, bodies):
    """The files of WinINet's cache in a Wine prefix that hold one of bodies."""
    found = []
    for folder, _, names in os.walk(os.path.join(prefix, "drive_c", "users")):
        if "INetCache" not in folder.split(os.sep):
            continue
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                if f.read() in bodies:
                    found.append(name)
    return found


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# What a download named like a system DLL would leave beside the program.
NOT_A_DLL = b"planted beside the program, where the downloads land\n"

# What the desktop case opens (kWebPage in layer_tests.cpp).
WEB_PAGE = "https://help.kestrune-layer.test/page?from=layer"

# The case that runs only in a run of its own, with wininet.dll unavailable.
WITHOUT_WININET = "Win32InternetWithoutWinInet.*"
# The cases that need Wine's desktop shell, also in runs of their own.
WEB_PAGE_CASE = "Win32WebPage.*:Win32Document.*"
# Sessions the desktop-shell case may take (see run_web_page_case).
WEB_PAGE_SESSIONS = 3


class Win32LayerTests(unittest.TestCase):
    def run_program(self, desktop, program, server, scratch, gtest_filter):
        code, output = desktop.run(
            [program, "--gtest_filter=" + gtest_filter,
             "http://127.0.0.1:%d/" % server.port,
             "http://127.0.0.1:%d/" % closed_port(),
             harness.windows_path(scratch)], timeout=300)
        print(output)
        return code, output

    def run_tests(self, desktop, program, server, scratch, gtest_filter):
        self.check(*self.run_program(desktop, program, server, scratch, gtest_filter))

    def run_web_page_case(self, desktop, program, server, scratch):
        """Wine's explorer offers its desktop shell only if the service
        manager was up when it asked for the COM service (rpcss): on a busy
        machine a new session can lose that race for good ("start_rpcss
        Failed to open service manager"), and no later call finds the shell.
        Such a session tells nothing of the launcher, so the case gets a new
        session, up to three; the last one's verdict stands. A case that
        fails in every session fails."""
        for session in range(1, WEB_PAGE_SESSIONS + 1):
            code, output = self.run_program(desktop, program, server, scratch, WEB_PAGE_CASE)
            ran, failed = gtest_verdict(output)
            if code == 0 and ran and not failed:
                break
            if session < WEB_PAGE_SESSIONS:
                print("layer_tests: no desktop shell in Wine session %d; starting another"
                      % session)
                desktop.restart()
        self.check(code, output)

    def check(self, code, output):
        ran, failed = gtest_verdict(output)
        self.assertEqual(failed, [], "failed: %s" % ", ".join(failed))
        self.assertIsNotNone(ran, "no GoogleTest summary (exit code %d)" % code)
        self.assertGreater(ran, 0, "no test ran")
        self.assertEqual(code, 0, "exit code %d" % code)

    def test_layer_against_real_files_and_server(self):
        root = tempfile.mkdtemp(prefix="kestrune-layer-")
        desktop = server = None
        try:
            www = os.path.join(root, "www")
            os.makedirs(www)
            served = {"plain.bin": pattern_bytes(3000),
                      "chunked.bin": pattern_bytes(3000),
                      "cut.bin": pattern_bytes(5000),
                      "long.bin": pattern_bytes(300007),
                      "long-cut.bin": pattern_bytes(300007),
                      "stalled.bin": pattern_bytes(5000),
                      "resumed.bin": pattern_bytes(300007),
                      "ignored.bin": pattern_bytes(300007),
                      "empty.txt": b""}
            for name, data in served.items():
                with open(os.path.join(www, name), "wb") as f:
                    f.write(data)
            server = harness.TestServer(root, "127.0.0.1", 0, rules={
                "/chunked.bin": {"chunked": True},
                # Time to take in what was sent before the cut: a reset at once
                # may discard even the headers, unread (about one open in a
                # hundred failed so on the short body too).
                "/cut.bin": {"stall_after": 1000, "stall_seconds": 1},
                "/long-cut.bin": {"stall_after": 200000, "stall_seconds": 1},
                # Far longer than the short no-data limit the case sets.
                "/stalled.bin": {"stall_after": 1000, "stall_seconds": 60},
                "/moved.bin": {"redirect": "/plain.bin", "code": 302},
                "/trickle.bin": {"header_trickle_seconds": 1},
                "/resumed.bin": {"etag": '"r1"', "ranges": True, "drop_once_after": 100000},
                "/ignored.bin": {"etag": '"i1"', "drop_once_after": 100000},
            })
            scratch = os.path.join(root, "scratch")
            os.makedirs(scratch)
            # The program runs from a folder of its own, beside a wininet.dll
            # and a uxtheme.dll that are no DLLs: loading either from there
            # would fail the transfers, or the start.
            bin_dir = os.path.join(root, "bin")
            os.makedirs(bin_dir)
            program = os.path.join(bin_dir, "kestrune_win32_tests.exe")
            shutil.copy(harness.exe("kestrune_win32_tests.exe"), program)
            shutil.copy(harness.exe("kestrune_e2e_probe.exe"), os.path.join(bin_dir, "probe.exe"))
            for name in ("wininet.dll", "uxtheme.dll"):
                with open(os.path.join(bin_dir, name), "wb") as f:
                    f.write(NOT_A_DLL)
            desktop = harness.WineDesktop("layer")
            self.run_tests(desktop, program, server, scratch,
                           "-%s:%s" % (WITHOUT_WININET, WEB_PAGE_CASE))
            self.run_web_page_case(desktop, program, server, scratch)
            self.assertEqual(harness.wait_for(desktop.opened, 30), [WEB_PAGE])
            # Every download is written once, where the caller wants it: none
            # lands in WinINet's cache as well.
            self.assertEqual(cached_bodies(desktop.env["WINEPREFIX"],
                                           {data for data in served.values() if data}), [])
            # NOTE: an empty Wine override disables the DLL: it cannot be loaded.
            desktop.env["WINEDLLOVERRIDES"] += ";wininet="
            self.run_tests(desktop, program, server, scratch, WITHOUT_WININET)
            requests = server.requests()
            agents = {r["agent"] for r in requests}
            self.assertEqual(agents, {"layer-agent.exe", "kestrune_win32_tests.exe",
                                      "resuming-agent.exe"})
            resumed = [r for r in requests if r["path"] == "/resumed.bin"]
            self.assertEqual(len(resumed), 2, resumed)
            self.assertEqual(resumed[0]["range"], "")
            self.assertRegex(resumed[1]["range"], r"^bytes=[1-9][0-9]*-$")
            self.assertEqual(resumed[1]["if_range"], '"r1"')
            ignored = [r for r in requests if r["path"] == "/ignored.bin"]
            self.assertEqual(len(ignored), 2, ignored)
            # One session: after the drop, one new connection serves the rest.
            after_drop = [r["connection"] for r in requests
                          if r["agent"] == "resuming-agent.exe"][1:3]
            self.assertEqual(after_drop[0], after_drop[1], requests)
        finally:
            if server:
                server.stop()
            if desktop:
                desktop.close()
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=harness.configure(sys.argv))
