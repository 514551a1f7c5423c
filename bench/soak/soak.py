#!/usr/bin/env python3
"""Soak: the real launcher started hundreds of times against a loopback
server that injects a fault at random into each request, with two launchers
overlapping at random in one working directory and some killed part-way.

  bench/soak/soak.py --program build/soak-linux/kestrune [--runs 300] [--seed N]
  bench/soak/soak.py --windows --program kestrune.exe --driver driver.exe [--runs 30]

bench/soak/run builds both programs with this soak's own update address
(HOST:PORT below, so nothing else on the machine is disturbed) and runs
both. What a run is and what is checked after it is written in
bench/README.md ("Soak"); the summary is printed and written to
OUT/summary.json, each launcher's stderr kept in OUT/stderr/ when not empty.
"""
import argparse
import hashlib
import json
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from collections import Counter
from http.server import ThreadingHTTPServer

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import http_server  # noqa: E402
import wine  # noqa: E402
from xvfb import Xvfb  # noqa: E402

HOST, PORT = "127.80.0.1", 18083
TITLE = "Soak"
FILES = {"tool.bin": 512 * 1024, "notes.txt": 16 * 1024, "data.bin": 160 * 1024}
PART = ".kestrune-part"
# A launcher that shows nothing and still runs this long after the server
# side went quiet (no request being answered) is hung: past the 600 ms pause
# nothing it does waits on anything but the server.
HANG_SECONDS = 30
# Nor may one run longer than this in all, whatever it shows.
LAUNCHER_LIMIT = 180
FAULT_WEIGHTS = {"none": 65, "reset": 7, "short": 6, "stall": 6, "status": 8, "trickle": 8}
P_REFUSED, P_OVERLAP, P_KILL = 0.06, 0.3, 0.25


# ---------------------------------------------------------------- server

class FaultHandler(http_server.Handler):
    """The test server's behaviours, one picked at random for each request."""

    def _rules(self):
        path = urllib.parse.urlsplit(self.path).path
        return {path: self.server.soak.pick(os.path.basename(path))}

    def do_GET(self, head=False):
        soak = self.server.soak
        soak.begin()
        try:
            super().do_GET(head)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        finally:
            soak.end()


class QuietServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # a launcher killed mid-request is part of the soak


class FaultServer:
    def __init__(self, root, rng, faults):
        self.root = root
        self.rng = rng
        self.faults = faults
        self.clean = False
        self.lock = threading.Lock()
        self.in_flight = 0
        self.quiet_since = time.monotonic()
        self.server = None

    def pick(self, name):
        with self.lock:
            if self.clean:
                return {}
            kind = self.rng.choices(list(FAULT_WEIGHTS), list(FAULT_WEIGHTS.values()))[0]
            size = os.path.getsize(os.path.join(self.root, "serverlist", name)) \
                if os.path.isfile(os.path.join(self.root, "serverlist", name)) else 100
            self.faults[kind] += 1
            return {"none": {},
                    "reset": {"reset_after": self.rng.randrange(0, max(1, size))},
                    "short": {"short_by": self.rng.randint(1, 4096)},
                    "stall": {"delay_seconds": self.rng.uniform(1, 6)},
                    "status": {"status": self.rng.choice([404, 500, 503])},
                    "trickle": {"rate": self.rng.choice([128, 256, 512]) * 1024}}[kind]

    def begin(self):
        with self.lock:
            self.in_flight += 1

    def end(self):
        with self.lock:
            self.in_flight -= 1
            self.quiet_since = time.monotonic()

    def quiet_for(self):
        with self.lock:
            return 0 if self.in_flight else time.monotonic() - self.quiet_since

    def start(self, clean=False):
        self.clean = clean
        self.server = QuietServer((HOST, PORT), FaultHandler)
        self.server.root = self.root
        self.server.rules_path = self.server.log_path = None
        self.server.log_lock = threading.Lock()
        self.server.soak = self
        threading.Thread(target=self.server.serve_forever, kwargs={"poll_interval": 0.1},
                         daemon=True).start()

    def stop(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None
        with self.lock:
            self.quiet_since = time.monotonic()


# ------------------------------------------------------------- launchers

class Launcher:
    """One start of the program and what became of it."""

    def __init__(self, label, kill_after):
        self.label = label
        self.kill_after = kill_after
        self.killed = False
        self.hung = False
        self.window = False
        self.boxes = Counter()
        self.unexpected = []  # titles of boxes and windows that are none of the launcher's
        self.corrupt_at_window = []
        self.returncode = None


class Soak:
    def __init__(self, options):
        self.o = options
        self.rng = random.Random(options.seed)
        self.out = options.out
        self.www = os.path.join(self.out, "www")
        self.work = os.path.join(self.out, "work")
        self.stderr_dir = os.path.join(self.out, "stderr")
        for d in (os.path.join(self.www, "serverlist"), self.work, self.stderr_dir):
            os.makedirs(d, exist_ok=True)
        self.want = {}
        lines = [TITLE]
        for name, size in FILES.items():
            data = self.rng.randbytes(size)
            with open(os.path.join(self.www, "serverlist", name), "wb") as f:
                f.write(data)
            self.want[name] = hashlib.sha256(data).hexdigest()
            lines += [name, name.split(".")[0].capitalize()]
        manifest = ("\r\n".join(lines) + "\r\n").encode("cp1252")
        with open(os.path.join(self.www, "serverlist", "updater.txt"), "wb") as f:
            f.write(manifest)
        self.want["updater1.txt"] = hashlib.sha256(manifest).hexdigest()
        self.faults = Counter()
        self.server = FaultServer(self.www, self.rng, self.faults)
        self.s = Counter()
        self.problems = []

    # ------------------------------------------------------------ checks
    def wrong_files(self, must_exist=False):
        wrong = []
        for name, digest in self.want.items():
            path = os.path.join(self.work, name)
            try:
                with open(path, "rb") as f:
                    if hashlib.sha256(f.read()).hexdigest() != digest:
                        wrong.append(name)
            except FileNotFoundError:
                if must_exist:
                    wrong.append(name + " (absent)")
        return wrong

    def at_window(self, launcher):
        """The listed files not as served when a launcher's window shows: all
        are there and whole, unless an error box ended its start-up early
        (the window then opens with what there is)."""
        return self.wrong_files(must_exist=not launcher.boxes["error"])

    def part_files(self):
        return sorted(n for n in os.listdir(self.work) if n.endswith(PART))

    def note(self, run, what):
        self.problems.append("run %d: %s" % (run, what))
        print("  run %d: %s" % (run, what), flush=True)

    # -------------------------------------------------------------- runs
    def one_run(self, run):
        # Most runs have something to download: each listed file goes with
        # probability 0.7, as a user deleting it or a new release would.
        for name in FILES:
            if self.rng.random() < 0.7:
                try:
                    os.remove(os.path.join(self.work, name))
                except FileNotFoundError:
                    pass
        refused = self.rng.random() < P_REFUSED
        if refused:
            self.faults["refused"] += 1
        else:
            self.server.start()
        plan = [("a", 0.0)]
        if self.rng.random() < P_OVERLAP:
            plan.append(("b", self.rng.uniform(0.2, 3.0)))
            self.s["overlaps"] += 1
        launchers = []
        threads = []
        began = time.monotonic()
        for label, delay in plan:
            time.sleep(max(0, began + delay - time.monotonic()))
            kill_after = self.rng.uniform(0.3, 3.0) if self.rng.random() < P_KILL else None
            launcher = Launcher(label, kill_after)
            launchers.append(launcher)
            t = threading.Thread(target=self.drive, args=(run, launcher))
            t.start()
            threads.append(t)
        for t in threads:
            t.join()
        self.server.stop()
        self.account(run, launchers)

        killed = any(l.killed for l in launchers)
        left = self.part_files()
        if left and not killed:
            self.s["leftover_temp_files"] += len(left)
            self.note(run, "temporary files after a run without a kill: %s" % left)
        wrong = self.wrong_files()
        if wrong:
            self.s["corrupt_files"] += len(wrong)
            self.note(run, "files not as served: %s" % wrong)
        if killed:
            self.clean_start(run)

    def clean_start(self, run):
        """After a kill: one start against a server without faults must show
        the window with every file whole, and leave no temporary file."""
        self.s["clean_starts"] += 1
        self.server.start(clean=True)
        launcher = Launcher("clean", None)
        self.drive(run, launcher)
        self.server.stop()
        self.account(run, [launcher])
        if not launcher.window:
            self.s["clean_starts_without_window"] += 1
            self.note(run, "the clean start showed no window: %s" % dict(launcher.boxes))
        left = self.part_files()
        if left:
            self.s["leftover_temp_files"] += len(left)
            self.note(run, "temporary files after the clean start: %s" % left)
        wrong = self.wrong_files(must_exist=True)
        if wrong:
            self.s["corrupt_files"] += len(wrong)
            self.note(run, "after the clean start, files not as served: %s" % wrong)

    def account(self, run, launchers):
        for l in launchers:
            self.s["launchers"] += 1
            self.s["windows_shown"] += l.window
            self.s["kills"] += l.killed
            self.s["hangs"] += l.hung
            for kind, n in l.boxes.items():
                self.s["boxes_" + kind] += n
            if l.corrupt_at_window:
                self.s["corrupt_at_window"] += len(l.corrupt_at_window)
                self.note(run, "%s showed its window with %s not as served"
                          % (l.label, l.corrupt_at_window))
            if l.hung:
                self.note(run, "%s hung" % l.label)
            if l.boxes["error"]:
                self.note(run, "%s showed an error box" % l.label)
            if l.unexpected:
                self.note(run, "%s showed %s" % (l.label, l.unexpected))
            if self.abnormal(l):
                self.note(run, "%s ended with %s" % (l.label, l.returncode))

    def abnormal(self, launcher):
        """Counts a launcher that ended other than by its own Exit, by the
        kill this soak sent, or as a hang (counted where it is found)."""
        code = launcher.returncode
        if launcher.hung or self.ended_as_killed(launcher):
            return False
        if code < 0:
            self.s["signal_deaths"] += 1
        elif code != 0:
            self.s["nonzero_exits"] += 1
        return code != 0

    def stderr_path(self, run, launcher):
        return os.path.join(self.stderr_dir, "%04d-%s.txt" % (run, launcher.label))

    def keep_stderr(self, path):
        if os.path.exists(path) and os.path.getsize(path) == 0:
            os.remove(path)


# --------------------------------------------------------------- Linux

class LinuxSoak(Soak):
    def __init__(self, options, display):
        super().__init__(options)
        self.display = display
        self.env = display.environ()
        for proxy in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                      "ALL_PROXY"):
            self.env.pop(proxy, None)
        bin_dir = os.path.join(self.out, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        shutil.copy(os.path.join(ROOT, "tests", "linux", "e2e", "xdg-open"), bin_dir)
        self.env["PATH"] = bin_dir + os.pathsep + self.env["PATH"]

    def x(self, *args):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                              capture_output=True, text=True).stdout

    def windows_of(self, pid, titles):
        shown = {}
        for wid in self.x("search", "--all", "--onlyvisible", "--pid", pid, "--name", "").split():
            if wid not in titles:
                titles[wid] = self.x("getwindowname", wid).strip()
            shown[wid] = titles[wid]
        return shown

    def click_exit(self, wid):
        # Where the window's Exit button is: the design's place, scaled by the
        # text height the window was laid out with (found from its width).
        geometry = self.x("getwindowgeometry", "--shell", wid)
        if "WIDTH=" not in geometry:
            return  # gone already
        width = int(geometry.split("WIDTH=")[1].split()[0])
        for h in range(6, 60):
            if (434 * h + 6) // 13 - 16 == width:
                break
        sx = lambda v: (v * h + 6) // 13  # noqa: E731
        self.x("mousemove", "--window", wid, sx(297) + sx(89) // 2, sx(320) + sx(25) // 2,
               "click", "1")

    def drive(self, run, launcher):
        path = self.stderr_path(run, launcher)
        with open(path, "wb") as err:
            proc = subprocess.Popen(
                [self.o.program], cwd=self.work, env=self.env, stdout=subprocess.DEVNULL,
                stderr=err)
        started = last_seen = time.monotonic()
        titles, answered = {}, {}
        while proc.poll() is None:
            now = time.monotonic()
            if launcher.kill_after is not None and now - started >= launcher.kill_after:
                proc.send_signal(signal.SIGKILL)
                launcher.killed = True
                break
            shown = self.windows_of(proc.pid, titles)
            if shown:
                last_seen = now
            for wid, title in shown.items():
                if now - answered.get(wid, -1e9) < 3:
                    continue  # answered a moment ago; again only if it stays
                if wid not in answered:
                    kind = {"Confirm": "confirm", "Information": "information",
                            "Kestrune": "error", TITLE: "window"}.get(title, "unexpected")
                    if kind == "window":
                        launcher.window = True
                        launcher.corrupt_at_window = self.at_window(launcher)
                    else:
                        launcher.boxes[kind] += 1
                        if kind == "unexpected":
                            launcher.unexpected.append(title)
                answered[wid] = now
                if title == TITLE:
                    self.click_exit(wid)
                else:  # Yes is the question's default, OK the only button elsewhere
                    self.x("windowfocus", "--sync", wid, "key", "Return")
            quiet = min(now - last_seen, self.server.quiet_for(), now - started)
            if (not shown and quiet > HANG_SECONDS) or now - started > LAUNCHER_LIMIT:
                launcher.hung = True
                proc.kill()
                break
            time.sleep(0.1)
        launcher.returncode = proc.wait()
        self.keep_stderr(path)

    def ended_as_killed(self, launcher):
        return launcher.killed and launcher.returncode == -signal.SIGKILL


# ------------------------------------------------------------- Windows

class WindowsSoak(Soak):
    """The same runs under Wine. The driver (tests/windows/driver.cpp) answers
    each launcher's boxes (Yes, OK) from inside Wine until its window shows;
    a kill is TerminateProcess, through Wine's taskkill /F."""

    def __init__(self, options, display):
        super().__init__(options)
        self.display = display
        self.env = {k: v for k, v in os.environ.items()
                    if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        self.env = display.environ(self.env)
        self.env.update({"WINEPREFIX": os.path.join(self.out, "prefix"), "HOME": self.out,
                         "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                         "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.bin = os.path.join(self.out, "bin")
        os.makedirs(self.bin, exist_ok=True)
        for label in ("a", "b", "clean"):
            shutil.copy(self.o.program, os.path.join(self.bin, "kestrune_%s.exe" % label))
        shutil.copy(self.o.driver, os.path.join(self.bin, "driver.exe"))
        os.makedirs(self.env["WINEPREFIX"], exist_ok=True)
        subprocess.run([wine.server(), "-p"], env=self.env, check=True)
        self.wine(["cmd", "/c", "exit"], timeout=300)  # makes the prefix
        self.close_lock = threading.Lock()

    def wine(self, args, timeout):
        with tempfile.TemporaryFile() as out:
            code = subprocess.run([wine.loader()] + args, env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def driver(self, *args, timeout=60):
        _, text = self.wine([os.path.join(self.bin, "driver.exe")] + [str(a) for a in args],
                            timeout)
        lines = [l for l in text.splitlines() if l.startswith("{")]
        return json.loads(lines[-1]) if lines else {"error": "no report"}

    def drive(self, run, launcher):
        name = "kestrune_%s.exe" % launcher.label
        path = self.stderr_path(run, launcher)
        with open(path, "wb") as err:
            proc = subprocess.Popen([wine.loader(), os.path.join(self.bin, name)], cwd=self.work,
                                    env=self.env, stdout=subprocess.DEVNULL, stderr=err)
        started = time.monotonic()
        report = {}
        watcher = threading.Thread(target=lambda: report.update(
            self.driver("watch", name, "yes", LAUNCHER_LIMIT, timeout=LAUNCHER_LIMIT + 60)))
        watcher.start()
        while watcher.is_alive():
            now = time.monotonic()
            if launcher.kill_after is not None and not launcher.killed \
                    and now - started >= launcher.kill_after and proc.poll() is None:
                self.wine(["taskkill", "/F", "/IM", name], timeout=60)
                launcher.killed = True
            if proc.poll() is None and min(self.server.quiet_for(), now - started) > HANG_SECONDS:
                launcher.hung = True
                proc.kill()
            watcher.join(0.2)
        for box in report.get("boxes", []):
            kind = {"Confirm": "confirm", "Information": "information",
                    "Kestrune": "error"}.get(box.get("title"), "unexpected")
            launcher.boxes[kind] += 1
            if kind == "unexpected":
                launcher.unexpected.append("%s: %s" % (box.get("title"), box.get("text")))
        if report.get("main_window"):
            launcher.window = True
            launcher.corrupt_at_window = self.at_window(launcher)
        deadline = time.monotonic() + 60
        while proc.poll() is None and time.monotonic() < deadline:
            if launcher.window:
                with self.close_lock:  # the driver closes the first launcher window it finds
                    self.driver("close")
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                pass
        if proc.poll() is None:
            launcher.hung = True
            proc.kill()
        launcher.returncode = proc.wait()
        self.keep_stderr(path)

    def ended_as_killed(self, launcher):
        # TerminateProcess's exit code is the one taskkill chose, not a signal.
        return launcher.killed

    def close(self):
        subprocess.run([wine.server(), "-k"], env=self.env, timeout=60)


# ----------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--program", required=True)
    ap.add_argument("--windows", action="store_true", help="the program is the Windows build")
    ap.add_argument("--driver", help="the Windows end-to-end driver (with --windows)")
    ap.add_argument("--runs", type=int)
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--out", help="results folder (default: a new folder under build/soak/)")
    o = ap.parse_args()
    o.runs = o.runs or (30 if o.windows else 300)
    o.program = os.path.abspath(o.program)
    o.out = os.path.abspath(o.out or os.path.join(
        ROOT, "build", "soak", time.strftime("%Y%m%d-%H%M%S") + ("-windows" if o.windows else "")))
    os.makedirs(o.out, exist_ok=True)

    # Core dumps of the launchers, wherever core_pattern (in the summary) puts them.
    _, hard = resource.getrlimit(resource.RLIMIT_CORE)
    resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))
    with Xvfb() as display:
        soak = WindowsSoak(o, display) if o.windows else LinuxSoak(o, display)
        started = time.monotonic()
        try:
            for run in range(1, o.runs + 1):
                soak.one_run(run)
                if run % 10 == 0:
                    print("%d/%d runs, %.0f s" % (run, o.runs, time.monotonic() - started),
                          flush=True)
        finally:
            if o.windows:
                soak.close()
    cores = [n for n in os.listdir(soak.work) if n.startswith("core")]
    summary = {
        "build": "windows" if o.windows else "linux", "program": o.program, "seed": o.seed,
        "runs": o.runs, "seconds": round(time.monotonic() - started),
        "faults_injected": dict(soak.faults), "hang_seconds": HANG_SECONDS,
        "core_pattern": open("/proc/sys/kernel/core_pattern").read().strip(),
        "core_files_in_work": cores,
    }
    for key in ("launchers", "overlaps", "kills", "clean_starts", "windows_shown",
                "boxes_confirm", "boxes_information", "boxes_error", "boxes_unexpected",
                "corrupt_files", "corrupt_at_window", "leftover_temp_files", "hangs",
                "signal_deaths", "nonzero_exits", "clean_starts_without_window"):
        summary[key] = soak.s[key]
    summary["problems"] = soak.problems
    with open(os.path.join(o.out, "summary.json"), "w") as f:
        json.dump(summary, f, indent=2)
    print(json.dumps({k: v for k, v in summary.items() if k != "problems"}, indent=2))
    print("results in", o.out)
    bad = sum(summary[k] for k in (
        "corrupt_files", "corrupt_at_window", "leftover_temp_files", "hangs", "signal_deaths",
        "nonzero_exits", "boxes_error", "boxes_unexpected", "clean_starts_without_window"))
    return 1 if bad or cores else 0


if __name__ == "__main__":
    sys.exit(main())
