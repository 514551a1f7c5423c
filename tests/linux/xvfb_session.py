#!/usr/bin/env python3
"""Runs a command on a private Xvfb display and returns its exit code.

Xvfb picks a free display itself (-displayfd), so runs that start together
never race for a display number, and the server is waited for at the end so
the next run cannot meet its leftover socket. XDG_RUNTIME_DIR is a private
0700 folder, as Qt expects.

Usage: xvfb_session.py COMMAND [ARGS...]
"""
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    runtime = tempfile.mkdtemp(prefix="kestrune-xdg-")  # mkdtemp makes it 0700
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as ready:
            display = ready.readline().strip()
        if not display:
            sys.exit("xvfb_session.py: Xvfb did not start")
        env = dict(os.environ, DISPLAY=":" + display, XDG_RUNTIME_DIR=runtime)
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        xvfb.terminate()
        try:
            xvfb.wait(10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
