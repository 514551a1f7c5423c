#!/usr/bin/env python3
"""A private Xvfb display for the tests, the benchmarks and script/run.

As a module:

    with Xvfb(screen="1280x1024x24") as x:
        subprocess.run(command, env=x.environ())

As a command, it runs one command on a display of its own and returns that
command's exit code:

    xvfb.py [--screen WxHxD] -- COMMAND [ARGS...]

Xvfb picks a free display itself (-displayfd), so runs that start together
never race for a display number. The server is stopped and waited for at the
end, so the next run cannot meet its leftover socket. Programs on the display
get a private 0700 XDG_RUNTIME_DIR, as Qt expects.
"""
import argparse
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DEFAULT_SCREEN = "1280x1024x24"

_PR_SET_PDEATHSIG = 1


class XvfbError(RuntimeError):
    """Xvfb is missing or did not come up."""


def _die_with_parent():
    """Returns a preexec_fn that has the new process sent SIGTERM when this
    one dies, even by SIGKILL (a CTest time-out), so neither the server nor
    the programs on it outlive their run; None where prctl is not to be had."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        prctl = libc.prctl
    except (OSError, AttributeError):
        return None
    parent = os.getpid()

    def preexec():
        prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)
        if os.getppid() != parent:  # the parent died before prctl took hold
            os._exit(1)
    return preexec


class Xvfb:
    """One Xvfb server and the runtime folder of the programs shown on it.

    start() returns once the server accepts clients; stop() ends it, waits
    for it and removes the folder. Both are safe to call again."""

    def __init__(self, screen=DEFAULT_SCREEN, program="Xvfb", timeout=30):
        self.screen = screen
        self.program = program
        self.timeout = timeout
        self.display = None
        self.runtime_dir = None
        self._process = None
        self._pipe = None
        self._errors = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        try:
            self._start()
        except BaseException:
            self.stop()
            raise
        return self

    def _start(self):
        self.runtime_dir = tempfile.mkdtemp(prefix="kestrune-xdg-")  # made 0700
        self._errors = tempfile.TemporaryFile()
        read_end, write_end = os.pipe()
        # Kept open while the server runs: Xvfb may write the number again,
        # and a write to a closed pipe is fatal to it.
        self._pipe = read_end
        try:
            # -noreset: by default the server resets whenever its last client
            # leaves, and a program or screenshot that connects during the
            # reset fails. Its own session keeps a terminal's Ctrl+C off it,
            # so it is stopped after the programs on it, not before.
            self._process = subprocess.Popen(
                [self.program, "-displayfd", str(write_end), "-screen", "0", self.screen,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=[write_end], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=self._errors, start_new_session=True, preexec_fn=_die_with_parent())
        except FileNotFoundError:
            raise XvfbError("%s is missing: install xvfb (script/bootstrap does)"
                            % self.program) from None
        finally:
            os.close(write_end)
        number = self._read_display_number()
        if not number:
            raise XvfbError("Xvfb did not start%s" % self._what_it_said())
        self.display = ":" + number

    def _read_display_number(self):
        # Xvfb writes the number and its newline apart: a read that stops
        # short of the newline can give a wrong display.
        text = b""
        deadline = time.monotonic() + self.timeout
        while b"\n" not in text:
            left = deadline - time.monotonic()
            if left <= 0:
                return ""
            ready, _, _ = select.select([self._pipe], [], [], min(left, 1))
            if ready:
                chunk = os.read(self._pipe, 64)
                if not chunk:  # the server ended
                    return ""
                text += chunk
        number = text.split(b"\n", 1)[0].decode(errors="replace").strip()
        return number if number.isdigit() else ""

    def _what_it_said(self):
        try:
            # The pipe closes a moment before the server has quite ended.
            code = self._process.wait(2)
            said = ", it ended with status %d" % code
        except subprocess.TimeoutExpired:
            said = " within %g s" % self.timeout
        if self._errors:
            self._errors.seek(0)
            lines = self._errors.read().decode(errors="replace").strip().splitlines()
            if lines:
                said += ":\n" + "\n".join(lines[-10:])
        return said

    def environ(self, base=None):
        """A copy of base (the process environment by default) that puts
        programs on this display."""
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        env["XDG_RUNTIME_DIR"] = self.runtime_dir
        return env

    def stop(self):
        if self._process is not None:
            if self._process.poll() is None:
                self._process.terminate()
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
            self._process = None
        if self._pipe is not None:
            os.close(self._pipe)
            self._pipe = None
        if self._errors is not None:
            self._errors.close()
            self._errors = None
        if self.runtime_dir is not None:
            shutil.rmtree(self.runtime_dir, ignore_errors=True)
            self.runtime_dir = None


# ------------------------------------------------------------ the command

class _Stopped(Exception):
    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def _screen(text):
    if not re.fullmatch(r"[1-9]\d*x[1-9]\d*x(8|15|16|24|30|32)", text):
        raise argparse.ArgumentTypeError("expected WIDTHxHEIGHTxDEPTH, e.g. 1024x768x24")
    return text


def _exit_as(signum):
    """Ends this process by the signal that ended the command, as a shell
    would, so whoever started it sees the same cause."""
    signal.signal(signum, signal.SIG_DFL)
    os.kill(os.getpid(), signum)
    return 128 + signum  # not reached


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    parser = argparse.ArgumentParser(
        prog="xvfb.py", usage="%(prog)s [--screen WxHxD] -- COMMAND [ARGS...]",
        description="Runs COMMAND on a private Xvfb display; returns its exit code.")
    parser.add_argument("--screen", type=_screen, default=DEFAULT_SCREEN,
                        help="the screen's size and depth (default %s)" % DEFAULT_SCREEN)
    if "--" not in argv or argv.index("--") == len(argv) - 1:
        parser.error("give the command after --")
    split = argv.index("--")
    options, command = parser.parse_args(argv[:split]), argv[split + 1:]

    child = None
    pending = []
    starting = []
    early = []

    # SIGTERM and SIGHUP go on to the command, which ends first; the display
    # is stopped after it. A terminal's Ctrl+C reaches the command itself.
    def on_signal(signum, _frame):
        if child is None:
            if starting:
                early.append(signum)
                return
            raise _Stopped(signum)
        if child.poll() is None:
            child.send_signal(signum)
        else:
            pending.append(signum)  # acted on once the display is stopped

    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, on_signal)

    code = None
    try:
        with Xvfb(screen=options.screen) as display:
            # A signal that comes while the command is being started (it may
            # already be running) is kept and handed on once `child` is set,
            # rather than stopping this wrapper without the command.
            starting.append(True)
            try:
                child = subprocess.Popen(command, env=display.environ(),
                                         preexec_fn=_die_with_parent())
            except OSError as error:
                print("xvfb.py: cannot run %s: %s" % (command[0], error.strerror),
                      file=sys.stderr)
                return 127
            for signum in early:
                child.send_signal(signum)
            try:
                code = child.wait()
            except KeyboardInterrupt:
                # The command got the same Ctrl+C: give it a moment to end.
                try:
                    code = child.wait(5)
                except subprocess.TimeoutExpired:
                    child.kill()
                    code = child.wait()
    except XvfbError as error:
        print("xvfb.py: %s" % error, file=sys.stderr)
        return 1
    except _Stopped as stopped:
        return _exit_as(stopped.signum)
    except KeyboardInterrupt:
        return _exit_as(signal.SIGINT)
    if pending:
        return _exit_as(pending[0])
    if code < 0:
        if -code in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            return _exit_as(-code)
        return 128 - code
    return code


if __name__ == "__main__":
    sys.exit(main())
