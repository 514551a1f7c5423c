#!/usr/bin/env python3
"""kestrune-publish as a maker runs it: release folders in temporary
folders, and a live update server (the project's loopback test server,
started on a free port by each test that needs it).

Run one group:  publish_test.py --program P --http-server S ReleaseFolder
"""
import argparse
import glob
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

OPTIONS = None
HERE = os.path.dirname(os.path.abspath(__file__))


# The manifest's limit, kMaxManifestBytes in update/manifest.h.
MAX_MANIFEST_BYTES = 16 * 1024 * 1024
# Room for the tool and one manifest at its limit, far from what reading an
# oversized one whole takes: past it, an allocation fails at once.
MEMORY_CAP = 256 * 1024 * 1024


def cap_memory():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_CAP, MEMORY_CAP))


def run_raw(*args, cwd=None, timeout=60):
    # NOTE: AddressSanitizer reserves terabytes of address space at start and
    # aborts under any such cap; the sanitizer run (ASAN_OPTIONS set) finds
    # an unbounded read by its own means instead.
    capped = None if "ASAN_OPTIONS" in os.environ else cap_memory
    result = subprocess.run([OPTIONS.program] + list(args), capture_output=True, cwd=cwd,
                            timeout=timeout, preexec_fn=capped)
    return result.returncode, result.stdout, result.stderr


def run(*args, cwd=None, timeout=60):
    code, out, err = run_raw(*args, cwd=cwd, timeout=timeout)
    return code, out, err.decode("utf-8", "replace")


def check_json(target, timeout=60):
    code, out, _ = run("check", "--json", target, timeout=timeout)
    return code, json.loads(out)


def controls_in(output):
    """The C0 and C1 control characters in output, line ends aside; strict
    UTF-8, so that a stray byte fails too."""
    return [c for c in output.decode("utf-8") if c != "\n" and
            (ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F)]


def kinds_at(report):
    return {(p["kind"], p["line"]) for p in report["problems"]}


class TempFolder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kestrune-publish-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def release(self, manifest, files=(), name="release"):
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        with open(os.path.join(folder, "updater.txt"), "wb") as f:
            f.write(manifest)
        for path in files:
            full = os.path.join(folder, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(b"content of " + path.encode())
        return folder


class ReleaseFolder(TempFolder):
    def test_clean_release_passes_and_shows_what_the_launcher_fetches(self):
        folder = self.release(b"Tavimo Tools\r\nsetup.exe\r\nInstall\r\nreadme.txt\r\nRead me\r\n",
                              ["setup.exe", "readme.txt", "updater.b2sums",
                               "updater.b2sums.minisig"])
        code, report = check_json(folder)
        self.assertEqual(code, 0, report["problems"])
        self.assertEqual(report["problems"], [])
        self.assertEqual(report["title"], "Tavimo Tools")
        entry = report["entries"][1]
        self.assertEqual((entry["line"], entry["name"], entry["caption"]),
                         (4, "readme.txt", "Read me"))
        self.assertTrue(entry["address"].endswith("/serverlist/readme.txt"), entry)
        self.assertTrue(entry["localPath"].endswith("\\readme.txt"), entry)

    def test_each_problem_a_maker_can_make_is_reported_at_its_line(self):
        # (what goes wrong, manifest, files in the folder, kind, line)
        cases = [
            ("a name reaching out", b"T\r\n..\\x.exe\r\nX\r\n", [], "refused-name", 2),
            ("a device name", b"T\r\nnul.txt\r\nX\r\n", [], "refused-name", 2),
            ("not uploaded", b"T\r\na.exe\r\nA\r\nb.exe\r\nB\r\n", ["a.exe"], "missing-file", 4),
            ("uploaded in other case", b"T\r\nSetup.exe\r\nS\r\n", ["setup.exe"],
             "case-mismatch", 2),
            ("last caption forgotten", b"T\r\na.exe\r\nA\r\nb.exe", ["a.exe", "b.exe"],
             "missing-caption", 4),
            ("a spare blank line", b"T\r\na.exe\r\nA\r\n\r\nb.exe\r\nB\r\n", ["a.exe", "b.exe"],
             "blank-line", 4),
            ("a trailing space", b"T\r\na.exe \r\nA\r\n", ["a.exe"], "trimmed-blanks", 2),
            ("a byte Windows-1252 lacks", b"T\r\na.exe\r\nA\x81\r\n", ["a.exe"],
             "undefined-byte", 3),
            ("saved as UTF-8", "T\r\na.exe\r\nRésumé\r\n".encode(), ["a.exe"], "utf-8-text", 3),
            ("a byte-order mark", b"\xef\xbb\xbfT\r\na.exe\r\nA\r\n", ["a.exe"],
             "byte-order-mark", 1),
            ("a Ctrl-Z mid-file", b"T\r\na.exe\r\nA\r\n\x1ab.exe\r\nB\r\n", ["a.exe", "b.exe"],
             "ctrl-z", 4),
            ("an old Mac line end", b"T\r\na.exe\r\nA\rb.exe\r\nB\r\n", ["a.exe", "b.exe"],
             "lone-carriage-return", 3),
            ("listed twice", b"T\r\na.exe\r\nA\r\nA.EXE\r\nB\r\n", ["a.exe"], "duplicate", 4),
            ("a '#' in a name", b"T\r\nc#.exe\r\nC\r\n", ["c#.exe"], "address-character", 2),
        ]
        for what, manifest, files, kind, line in cases:
            with self.subTest(what):
                folder = self.release(manifest, files, name=what)
                code, report = check_json(folder)
                self.assertEqual(code, 1)
                self.assertIn((kind, line), kinds_at(report), report["problems"])

    def test_problems_go_to_stderr_with_file_and_line(self):
        folder = self.release(b"T\r\n..\\x.exe\r\nX\r\n")
        code, out, err = run("check", folder)
        self.assertEqual(code, 1)
        manifest = os.path.join(folder, "updater.txt")
        self.assertIn(manifest + ":2: error: the launcher refuses the name", err)
        self.assertIn('".." folder', err)
        self.assertIn("Entry 1 (line 2)", out.decode())

    def test_an_unlisted_file_is_a_warning_only(self):
        folder = self.release(b"T\r\na.exe\r\nA\r\n", ["a.exe", "old/b.exe"])
        code, report = check_json(folder)
        self.assertEqual(code, 0)
        [problem] = report["problems"]
        self.assertEqual((problem["severity"], problem["kind"]), ("warning", "unlisted-file"))
        self.assertTrue(problem["file"].endswith(os.path.join("old", "b.exe")), problem)

    def test_a_manifest_past_the_launchers_limit_is_refused_without_reading_on(self):
        at_limit = self.release(b"T" * MAX_MANIFEST_BYTES, name="at the limit")
        code, report = check_json(at_limit)
        self.assertEqual((code, kinds_at(report)), (0, {("no-entries", 0)}))
        # A file one byte over is refused by its size; one that never ends
        # (a link to /dev/zero, which has none) by the bytes read.
        one_over = self.release(b"T" * (MAX_MANIFEST_BYTES + 1), name="one byte over")
        endless = os.path.join(self.tmp, "endless")
        os.makedirs(endless)
        os.symlink("/dev/zero", os.path.join(endless, "updater.txt"))
        for folder in (one_over, endless):
            with self.subTest(os.path.basename(folder)):
                code, report = check_json(folder)
                self.assertEqual((code, kinds_at(report)), (1, {("too-large", 0)}))
                self.assertIn("than the %d bytes the launcher takes" % MAX_MANIFEST_BYTES,
                              report["problems"][0]["message"])

    def test_control_characters_reach_the_terminal_only_escaped(self):
        # The bytes Windows-1252 leaves undefined read as C1 controls (U+009D
        # starts an operating-system command on a terminal, U+0090 a device
        # control string); ESC starts the C0 ones.
        folder = self.release(b"T\x1b]0;owned\x07\r\na\x9d\x90\x1b[2J.exe\r\n\x8dA\x1b\r\n")
        code, out, err = run_raw("check", folder)
        self.assertEqual(code, 1)
        self.assertEqual(controls_in(out + err), [])
        self.assertIn(b'"a\\u009d\\u0090\\u001b[2J.exe"', out)
        _, out, _ = run_raw("check", "--json", folder)
        self.assertEqual(controls_in(out), [])
        # JSON escapes them the same way, and its reader gets the name back.
        self.assertEqual(json.loads(out)["entries"][0]["name"], "a\x9d\x90\x1b[2J.exe")

    def test_line_numbers_follow_the_launchers_reader_on_hostile_manifests(self):
        # The tool numbers lines by the launcher's reader: whatever the bytes,
        # it reports and ends with a problem found or all well.
        samples = sorted(glob.glob(os.path.join(HERE, "..", "hostile", "manifests", "*"))
                         + glob.glob(os.path.join(HERE, "..", "fuzz", "corpus", "manifest", "*")))
        self.assertGreater(len(samples), 20)
        for sample in samples:
            with self.subTest(os.path.basename(sample)):
                with open(sample, "rb") as f:
                    folder = self.release(f.read(), name=os.path.basename(sample))
                code, report = check_json(folder)
                self.assertIn(code, (0, 1))
                self.assertTrue(all(p["line"] >= 0 for p in report["problems"]))


class NewManifest(TempFolder):
    def test_new_then_check_round_trips_8_bit_text(self):
        entries = [("Résumé.pdf", "Lebenslauf – öffnen"), ("setup.exe", "Install € tools")]
        folder = os.path.join(self.tmp, "release")
        os.makedirs(folder)
        args = ["new", "--title", "Café Tavimo", "-o", os.path.join(folder, "updater.txt")]
        for name, caption in entries:
            args += [name, caption]
            open(os.path.join(folder, name), "wb").close()
        code, _, err = run(*args)
        self.assertEqual(code, 0, err)
        with open(os.path.join(folder, "updater.txt"), "rb") as f:
            written = f.read()
        lines = ["Café Tavimo"] + [text for entry in entries for text in entry]
        self.assertEqual(written, ("\r\n".join(lines) + "\r\n").encode("cp1252"))
        code, report = check_json(folder)
        self.assertEqual(code, 0, report["problems"])
        self.assertEqual(report["title"], "Café Tavimo")
        self.assertEqual([(e["name"], e["caption"]) for e in report["entries"]], entries)

    def test_new_writes_to_standard_output_byte_for_byte(self):
        code, out, _ = run("new", "--title", "T", "a.exe", "A")
        self.assertEqual((code, out), (0, b"T\r\na.exe\r\nA\r\n"))

    def test_new_refuses_what_the_launcher_would_misread_and_writes_nothing(self):
        cases = [
            ("a name the launcher refuses", ["..\\x.exe", "X"], "refused-name", 2),
            ("no Windows-1252 form", ["a.exe", "下载"], "no-windows-1252-form", 3),
            ("a caption trimming changes", ["a.exe", " A"], "trimmed-blanks", 3),
            ("a line break", ["a.exe", "A\nB"], "line-break", 3),
        ]
        for what, texts, kind, line in cases:
            with self.subTest(what):
                target = os.path.join(self.tmp, "updater.txt")
                code, _, err = run("new", "--title", "T", "-o", target, *texts)
                self.assertEqual(code, 1)
                self.assertIn("updater.txt:%d: error:" % line, err)
                self.assertIn("[%s]" % kind, err)
                self.assertFalse(os.path.exists(target))
        code, _, err = run("new", "--title", "\ufeffT", "-o", target, "a.exe", "A")
        self.assertEqual(code, 1)
        self.assertIn(":1: error: the title starts with a byte-order mark", err)

    def test_wrong_usage_exits_with_2(self):
        for args in (["new", "--title", "T", "a.exe"], ["new", "a.exe", "A"], ["frobnicate"],
                     ["check"], ["check", "http://example.com/files/"], ["sums"],
                     ["sums", "http://example.com/serverlist/"],
                     ["check", "ftp://example.com/serverlist/"],
                     ["check", "http:///serverlist/"],
                     ["check", "https://example.com/oldserverlist/"],
                     ["check", "https://example.com/a\nb/serverlist/"]):
            with self.subTest(" ".join(args)):
                code, _, err = run(*args)
                self.assertEqual(code, 2)
                self.assertIn("--help", err)
        # Letter case does not count, and the folder may be deep: such an
        # address is fetched (nothing listens on port 1), not refused.
        code, _, err = run("check", "HTTP://127.0.0.1:1/a/b/ServerList/")
        self.assertEqual(code, 1, err)


class LoopbackServer(TempFolder):
    def start_server(self):
        self.www = os.path.join(self.tmp, "www")
        self.served = os.path.join(self.www, "serverlist")
        os.makedirs(self.served)
        self.rules = os.path.join(self.tmp, "rules.json")
        self.log = os.path.join(self.tmp, "requests.log")
        self.set_rules({})
        self.server = subprocess.Popen(
            [sys.executable, OPTIONS.http_server, "--root", self.www, "--port", "0",
             "--rules", self.rules, "--log", self.log, "--max-seconds", "120"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_server)
        first = self.server.stdout.readline()
        if not first.startswith("PORT "):
            self.fail("the test server did not start: " + self.server.stderr.read())
        self.url = "http://127.0.0.1:%d/serverlist/" % int(first.split()[1])

    def stop_server(self):
        self.server.terminate()
        self.server.wait(10)
        self.server.stdout.close()
        self.server.stderr.close()

    def set_rules(self, rules):
        with open(self.rules, "w") as f:
            json.dump(rules, f)

    def publish(self, manifest, files):
        with open(os.path.join(self.served, "updater.txt"), "wb") as f:
            f.write(manifest)
        for name in files:
            with open(os.path.join(self.served, name), "wb") as f:
                f.write(os.urandom(5000))

    def requests(self):
        with open(self.log) as f:
            return [json.loads(line)["path"] for line in f]


class LiveServer(LoopbackServer):
    def setUp(self):
        super().setUp()
        self.start_server()

    def test_a_whole_server_passes_and_each_file_is_fetched_once(self):
        self.publish(b"T\r\na.exe\r\nA\r\nb b.exe\r\nB\r\na.exe\r\nA again\r\n",
                     ["a.exe", "b b.exe"])
        code, report = check_json(self.url)
        self.assertEqual(code, 1)  # the duplicate, and nothing about the server
        self.assertEqual(kinds_at(report), {("duplicate", 6)})
        self.assertEqual(sorted(self.requests()), ["/serverlist/a.exe", "/serverlist/b%20b.exe",
                                                   "/serverlist/updater.txt"])
        self.assertEqual(report["entries"][0]["status"], 200)
        self.assertEqual(report["entries"][0]["bodyBytes"], 5000)

    def test_missing_error_short_and_redirected_files_are_told_apart(self):
        self.publish(b"T\r\nok.exe\r\nA\r\ngone.exe\r\nB\r\nshort.exe\r\nC\r\nmoved.exe\r\nD\r\n"
                     b"broken.exe\r\nE\r\n",
                     ["ok.exe", "short.exe", "moved.exe", "broken.exe"])
        self.set_rules({"/serverlist/short.exe": {"short_by": 100},
                        "/serverlist/moved.exe": {"redirect": "/serverlist/ok.exe"},
                        "/serverlist/broken.exe": {"status": 500}})
        code, report = check_json(self.url)
        self.assertEqual(code, 1)
        self.assertEqual(kinds_at(report), {("http-status", 4), ("short-body", 6),
                                            ("redirect", 8), ("http-status", 10)})
        messages = {p["line"]: p["message"] for p in report["problems"]}
        self.assertIn("status 404", messages[4])
        self.assertIn("status 500", messages[10])
        self.assertIn("redirects to " + self.url + "ok.exe", messages[8])

    def test_a_manifest_past_the_launchers_limit_is_refused_unread(self):
        # Announced as 400 MiB, with the body held after its first KiB: the
        # check can only end while it is held if it stopped at the length.
        gate = os.path.join(self.tmp, "go")
        self.addCleanup(lambda: open(gate, "w").close())
        self.publish(b"T\r\n" + b"x" * 4096, [])
        self.set_rules({"/serverlist/updater.txt": {
            "short_by": 400 * 1024 * 1024, "hold_after": 1024, "hold_until": gate}})
        code, report = check_json(self.url, timeout=30)
        self.assertEqual((code, kinds_at(report)), (1, {("too-large", 0)}))
        message = report["problems"][0]["message"]
        self.assertIn("than the %d bytes the launcher takes" % MAX_MANIFEST_BYTES, message)
        self.assertIn("%d bytes announced" % (4099 + 400 * 1024 * 1024), message)
        # Unannounced (chunked), it is refused once more than the limit came.
        self.publish(b"x" * (MAX_MANIFEST_BYTES + 64 * 1024), [])
        self.set_rules({"/serverlist/updater.txt": {"chunked": True}})
        code, report = check_json(self.url)
        self.assertEqual((code, kinds_at(report)), (1, {("too-large", 0)}))
        self.assertIn("than the %d bytes" % MAX_MANIFEST_BYTES, report["problems"][0]["message"])

    def test_a_missing_manifest_stops_the_check(self):
        code, report = check_json(self.url)
        self.assertEqual(code, 1)
        [problem] = report["problems"]
        self.assertEqual(problem["kind"], "http-status")
        self.assertIn("Problem with updater.txt", problem["message"])


class SignedRelease(LoopbackServer):
    """--key: updater.b2sums and its signature checked as a launcher built
    with the key checks them, the list written by sums and compared with the
    real b2sum, and signed by the real minisign."""

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="kestrune-publish-keys-")
        for name in ("maker", "other"):
            subprocess.run([OPTIONS.minisign, "-G", "-W", "-p", cls.key(name, "pub"),
                            "-s", cls.key(name, "sec")], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, True)

    @classmethod
    def key(cls, name, half="pub"):
        return os.path.join(cls.keys, "%s.%s" % (name, half))

    def sums(self, folder):
        code, _, err = run("sums", folder)
        self.assertEqual(code, 0, err)

    def sign(self, folder, key="maker", extra=()):
        subprocess.run([OPTIONS.minisign, "-S", "-s", self.key(key, "sec"),
                        "-m", os.path.join(folder, "updater.b2sums")] + list(extra),
                       check=True, capture_output=True)

    def write(self, folder, name, data, mode="wb"):
        with open(os.path.join(folder, name), mode) as f:
            f.write(data)

    def check(self, target, key="maker", *more_keys):
        keys = [arg for name in (key,) + more_keys for arg in ("--key", self.key(name))]
        code, out, _ = run("check", "--json", *keys, target)
        return code, json.loads(out)

    def serve(self, folder):
        shutil.rmtree(self.served)
        shutil.copytree(folder, self.served)

    def test_a_signed_release_passes_in_the_folder_and_on_the_server(self):
        self.start_server()
        folder = self.release(b"T\r\nsetup.exe\r\nS\r\ndocs\\readme.txt\r\nR\r\n",
                              ["setup.exe", "docs/readme.txt"])
        self.sums(folder)
        self.sign(folder)
        self.serve(folder)
        for target in (folder, self.url):
            with self.subTest(target):
                code, report = self.check(target)
                self.assertEqual(code, 0, report["problems"])
                # The list and its signature are no unlisted files.
                self.assertEqual({p["kind"] for p in report["problems"]}, {"folder"})
        with open(self.key("maker")) as f:
            self.assertIn(report["keys"][0]["id"], f.readline())
        self.assertEqual(report["signed"]["key"], report["keys"][0]["id"])
        with open(os.path.join(folder, "updater.b2sums.minisig")) as f:
            self.assertIn("timestamp:%d\t" % report["signed"]["timestamp"], f.read())
        self.assertIn("/serverlist/updater.b2sums.minisig", self.requests())
        _, out, _ = run("check", "--key", self.key("maker"), folder)
        self.assertIn(b"Key:      " + report["keys"][0]["id"].encode(), out)
        self.assertIn(b"-DKESTRUNE_MINIMUM_RELEASE_TIMESTAMP=%d " % report["signed"]["timestamp"],
                      out)
        # A launcher that knows a second key takes a list signed with either.
        code, report = self.check(folder, "other", "maker")
        self.assertEqual(code, 0, report["problems"])
        self.assertEqual(report["signed"]["key"], report["keys"][1]["id"])
        code, report = self.check(folder, "other")
        self.assertEqual(code, 1)
        self.assertNotIn("signed", report)

    def test_sums_writes_what_b2sum_prints_and_nothing_when_it_cannot(self):
        # An 8-bit name (Windows-1252 in the manifest, UTF-8 on the disk), a
        # name in a folder written with '\', a file listed twice.
        manifest = ("T\r\nsetup.exe\r\nS\r\ntools\\setup.exe\r\nT\r\nRésumé.pdf\r\nR\r\n"
                    "b b.exe\r\nB\r\nsetup.exe\r\nS again\r\n").encode("cp1252")
        files = ["setup.exe", "tools/setup.exe", "Résumé.pdf", "b b.exe"]
        folder = self.release(manifest, files)
        self.sums(folder)
        b2sum = subprocess.run([OPTIONS.b2sum, "updater.txt"] + files, cwd=folder,
                               capture_output=True, check=True).stdout
        with open(os.path.join(folder, "updater.b2sums"), "rb") as f:
            self.assertEqual(f.read(), b2sum)
        # A file gone, or a name the launcher refuses: the list stays as it
        # was, and nothing is left beside it.
        for what, spoil, line in (
                ("a listed file missing", lambda f: os.remove(os.path.join(f, "b b.exe")), 8),
                ("a refused name",
                 lambda f: self.write(f, "updater.txt", manifest + b"..\\x\r\nX\r\n"), 12)):
            with self.subTest(what):
                folder = self.release(manifest, files, name=what)
                self.sums(folder)
                spoil(folder)
                names = sorted(os.listdir(folder))
                code, _, err = run("sums", folder)
                self.assertEqual(code, 1)
                self.assertIn("updater.txt:%d: error:" % line, err)
                self.assertIn("nothing written", err)
                with open(os.path.join(folder, "updater.b2sums"), "rb") as f:
                    self.assertEqual(f.read(), b2sum)
                self.assertEqual(sorted(os.listdir(folder)), names)

    def test_each_refusal_is_reported_by_its_cause_at_its_line(self):
        self.start_server()
        manifest = b"T\r\nsetup.exe\r\nS\r\nreadme.txt\r\nR\r\n"

        def drop_readme(folder):
            with open(os.path.join(folder, "updater.b2sums"), "rb") as f:
                kept = [l for l in f.readlines() if not l.endswith(b"readme.txt\n")]
            self.write(folder, "updater.b2sums", b"".join(kept))

        maker = ("maker", [])
        # (what, before signing, the key and minisign's options (None: not
        # signed), after signing, the one error: its file, line and kind)
        cases = [
            ("unsigned list", None, None, None,
             ("updater.b2sums.minisig", 0, "signature-missing")),
            ("another key", None, ("other", []), None,
             ("updater.b2sums.minisig", 0, "signature-other-key")),
            ("legacy algorithm", None, ("maker", ["-l"]), None,
             ("updater.b2sums.minisig", 0, "signature-legacy")),
            ("undated", None, ("maker", ["-t", "file:updater.b2sums"]), None,
             ("updater.b2sums.minisig", 0, "signature-undated")),
            ("list changed after signing", None, maker,
             lambda f: self.write(f, "updater.b2sums", b"01" * 64 + b"  setup.exe\n", "ab"),
             ("updater.b2sums.minisig", 0, "signature-not-matching")),
            ("signature past the launcher's limit", None, maker,
             lambda f: self.write(f, "updater.b2sums.minisig", b"x" * 5000),
             ("updater.b2sums.minisig", 0, "signature-malformed")),
            ("malformed list line", lambda f: self.write(f, "updater.b2sums", b"sum readme\n", "ab"),
             maker, None, ("updater.b2sums", 4, "list-malformed")),
            ("manifest not matching", None, maker,
             lambda f: self.write(f, "updater.txt", manifest.replace(b"S\r", b"Setup\r")),
             ("updater.txt", 0, "not-matching-list")),
            ("file changed", None, maker, lambda f: self.write(f, "setup.exe", b"patched", "ab"),
             ("updater.txt", 2, "not-matching-list")),
            ("file the list does not name", drop_readme, maker, None,
             ("updater.txt", 4, "not-in-list")),
        ]
        for what, before, signing, after, expected in cases:
            folder = self.release(manifest, ["setup.exe", "readme.txt"], name=what)
            self.sums(folder)
            if before:
                before(folder)
            if signing:
                self.sign(folder, *signing)
            if after:
                after(folder)
            self.serve(folder)
            for target in (folder, self.url):
                with self.subTest(what, target=target):
                    code, report = self.check(target)
                    self.assertEqual(code, 1)
                    self.assertEqual([(p["file"].rsplit("/", 1)[-1], p["line"], p["kind"])
                                      for p in report["problems"]], [expected])
        # As a person reads them: the file and line, then the cause.
        _, _, err = run("check", "--key", self.key("maker"),
                        os.path.join(self.tmp, "malformed list line"))
        self.assertIn("updater.b2sums:4: error: not a line b2sum writes", err)
        self.assertIn('customers get "Problem with updater.txt', err)

    def test_a_key_file_that_is_no_public_key_is_wrong_usage(self):
        folder = self.release(b"T\r\na.exe\r\nA\r\n", ["a.exe"])
        for given in (self.key("maker", "sec"), os.path.join(self.tmp, "none.pub")):
            with self.subTest(given):
                code, out, err = run("check", "--key", given, folder)
                self.assertEqual((code, out), (2, b""))
                self.assertIn("--key: ", err)
                self.assertIn(given, err)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--http-server", required=True)
    parser.add_argument("--minisign", default="minisign")
    parser.add_argument("--b2sum", default="b2sum")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
