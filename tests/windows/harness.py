"""What the Windows end-to-end tests stand on: an Xvfb display and a Wine
prefix of their own, the loopback test server, the test driver that reads
windows through Win32, and screenshots kept as artifacts.

Each test module builds one WineDesktop for all its scenarios and tears
everything down at the end. Its prefix is a copy of the one the run's
wine_template fixture made, which also recorded what the machine lacks: a
suite that needs it is skipped with the reason (--needs).
"""
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import machine  # noqa: E402
import wine  # noqa: E402
from xvfb import Xvfb  # noqa: E402

# Set by configure() from the command line CTest gives.
PATHS = {}


# The test build's compiled-in addresses, also from the command line.
SETTINGS = {}


def configure(argv):
    """Takes --bin DIR --server FILE --artifacts DIR --wine-template DIR, the
    test build's --host, --port, --home-url, --support-url, --programs DIR
    (where the unsigned test build for --host is, when not in --bin), for
    the signed test build --minisign FILE --signing-key-dir DIR, and --needs
    i386 (a suite that runs 32-bit programs) off argv; returns the rest.

    Ends the script as skipped when the machine lacks what the suite needs."""
    rest = [argv[0]]
    i = 1
    while i < len(argv):
        key = argv[i][2:] if argv[i].startswith("--") else None
        if key in ("bin", "programs", "server", "artifacts", "minisign", "signing-key-dir",
                   "wine-template") and i + 1 < len(argv):
            PATHS[key] = os.path.abspath(argv[i + 1])
            i += 2
        elif key in ("host", "port", "home-url", "support-url", "needs",
                     "minimum-release-timestamp") and i + 1 < len(argv):
            SETTINGS[key] = argv[i + 1]
            i += 2
        else:
            rest.append(argv[i])
            i += 1
    for key in ("bin", "server", "artifacts", "wine-template"):
        if key not in PATHS:
            sys.exit("missing --%s" % key)
    with open(os.path.join(PATHS["wine-template"], "machine.json")) as f:
        lacks = json.load(f)
    for need in [n for n in SETTINGS.get("needs", "").split(",") if n] + ["wine"]:
        if lacks.get(need):
            machine.skip(lacks[need])
    os.makedirs(PATHS["artifacts"], exist_ok=True)
    return rest


def exe(name):
    return os.path.join(PATHS["bin"], name)


def program(name):
    """A test build of the launcher, built for this suite's --host."""
    return os.path.join(PATHS.get("programs", PATHS["bin"]), name)


def windows_path(unix_path):
    """Wine's Z: drive is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def clean_environment():
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy",
                                "ftp_proxy", "display", "wineprefix")}
    env.update({
        "WINEDEBUG": "-all",
        # No Mono or Gecko install prompt when the prefix is made.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # A UTF-8 locale (the one every Debian has) for Unix file names;
        # Wine then runs with the Western ANSI code page, 1252.
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    return env


# Wine's own programs and libraries, some 700 MB that no test changes:
# linked, not copied. Everything else (the registry, the user's folders,
# Program Files) is a copy of its own.
SHARED_PREFIX_FOLDERS = ("system32", "syswow64", "winsxs")


def copy_prefix(template, prefix):
    def link_or_copy(source, target):
        parts = os.path.relpath(source, template).split(os.sep)
        if parts[:2] == ["drive_c", "windows"] and len(parts) > 3 \
                and parts[2].lower() in SHARED_PREFIX_FOLDERS:
            os.link(source, target)
        else:
            shutil.copy2(source, target)
    shutil.copytree(template, prefix, symlinks=True, copy_function=link_or_copy)


class WineDesktop:
    """An X display and a Wine prefix in a temporary folder."""

    def __init__(self, name):
        self.name = name
        self.root = tempfile.mkdtemp(prefix="kestrune-%s-" % name)
        self.opened_log = os.path.join(self.root, "opened.txt")
        self._xvfb = None
        self.env = clean_environment()
        try:
            self._xvfb = Xvfb().start()
            self.display = self._xvfb.display
            self.env = self._xvfb.environ(self.env)
            self._install_browser_stand_in()
            self.env["WINEPREFIX"] = os.path.join(self.root, "prefix")
            self.env["HOME"] = self.root
            copy_prefix(os.path.join(PATHS["wine-template"], "prefix"), self.env["WINEPREFIX"])
            # A server that stays up between the programs keeps each start quick.
            subprocess.run([wine.server(), "-p"], env=self.env, check=True)
        except BaseException:
            self.close()
            raise

    def _install_browser_stand_in(self):
        # Wine hands web addresses to the first xdg-open on the Unix PATH.
        bin_dir = os.path.join(self.root, "bin")
        os.makedirs(bin_dir)
        stand_in = os.path.join(bin_dir, "xdg-open")
        with open(stand_in, "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n" % self.opened_log)
        os.chmod(stand_in, 0o755)
        self.env["PATH"] = bin_dir + os.pathsep + self.env.get("PATH", "")

    def opened(self):
        if not os.path.exists(self.opened_log):
            return []
        with open(self.opened_log) as f:
            return [line.rstrip("\n") for line in f if line.strip()]

    # ------------------------------------------------------------ programs

    def start(self, program, cwd):
        loader = wine.loader(os.path.join(cwd, program))
        return subprocess.Popen([loader, program], cwd=cwd, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, args, timeout, cwd=None):
        """Runs a Windows program to its end; returns (exit code, stdout text).

        The output goes through a file, not a pipe: Wine's own background
        processes, started by the first program of a prefix, inherit the
        standard handles and would hold a pipe open long after the program.
        """
        with tempfile.TemporaryFile() as out:
            args = [str(a) for a in args]
            loader = wine.loader(os.path.join(cwd or ".", args[0]))
            code = subprocess.run([loader] + args, env=self.env, cwd=cwd, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def driver(self, *args, timeout=90, allow_error=False):
        _, output = self.run([exe("kestrune_e2e_driver.exe")] + list(args), timeout)
        lines = [l for l in output.splitlines() if l.startswith("{")]
        report = json.loads(lines[-1]) if lines else {"error": "no report"}
        if "error" in report and not allow_error:
            raise AssertionError("driver %s: %s" % (" ".join(map(str, args)), report["error"]))
        return report

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True,
                       timeout=30, stdout=subprocess.DEVNULL)

    def screenshot(self, scenario):
        path = os.path.join(PATHS["artifacts"], "%s-%s.png" % (self.name, scenario))
        result = subprocess.run(["import", "-display", self.display, "-window", "root", path],
                                env=self.env, capture_output=True, timeout=60)
        if result.returncode != 0:
            raise AssertionError("screenshot failed: " + result.stderr.decode(errors="replace"))
        return path

    def restart(self):
        """Ends the prefix's programs and its server; the next program boots
        a new session of the same prefix."""
        subprocess.run([wine.server(), "-k"], env=self.env, timeout=60)
        subprocess.run([wine.server(), "-w"], env=self.env, timeout=60)
        subprocess.run([wine.server(), "-p"], env=self.env, check=True)

    def close(self):
        if "WINEPREFIX" in self.env:
            subprocess.run([wine.server(), "-k"], env=self.env, timeout=60)
        if self._xvfb:
            self._xvfb.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def wait_for(condition, seconds, step=0.2):
    """Polls condition until it gives something true or the time is up."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def pixels(png, rect):
    """The (r, g, b) pixels of a screen rectangle of a screenshot."""
    out = subprocess.run(
        ["convert", png, "-crop", "%dx%d+%d+%d" % (rect["width"], rect["height"],
                                                    rect["left"], rect["top"]),
         "+repage", "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(out[i:i + 3]) for i in range(0, len(out) - 2, 3)]


class TestServer:
    """tests/support/http_server.py on a fixed loopback address, for one scenario."""

    def __init__(self, root, bind, port, rules=None):
        self.log = os.path.join(root, "requests.jsonl")
        self.rules_path = os.path.join(root, "rules.json")
        with open(self.rules_path, "w") as f:
            json.dump(rules or {}, f)
        self._process = subprocess.Popen(
            [sys.executable, PATHS["server"], "--root", os.path.join(root, "www"),
             "--bind", bind, "--port", str(port), "--rules", self.rules_path,
             "--log", self.log, "--max-seconds", "600"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        ready, _, _ = select.select([self._process.stdout], [], [], 15)
        line = self._process.stdout.readline().decode() if ready else ""
        if not line.startswith("PORT"):
            self._process.kill()
            error = self._process.communicate()[1].decode(errors="replace").strip().splitlines()
            raise RuntimeError("the test server cannot listen on %s:%s (busy?): %s"
                               % (bind, port, error[-1] if error else "no answer"))
        self.port = int(line.split()[1])

    def requests(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process.stdout.close()
        self._process.stderr.close()
