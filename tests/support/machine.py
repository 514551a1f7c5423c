"""What this machine can run, for the tests that need more than Linux.

Machines of our kind differ: some kernels run no 32-bit (i386) programs at
all, so neither the 32-bit Wine loader nor anything it would start (the
32-bit launcher, the NSIS installer) can run there. A test that needs what
the machine lacks exits with SKIP_CODE after one line saying why; CTest
reports it as skipped (SKIP_RETURN_CODE), never as passed or failed.

KESTRUNE_TEST_PRETEND_NO_I386=1 makes the probe answer as such a machine
would, to try the skipping path on a machine that has the capability.
"""
import errno
import os
import subprocess
import sys

import wine

SKIP_CODE = 77
PRETEND_NO_I386 = "KESTRUNE_TEST_PRETEND_NO_I386"


def runs_32_bit_programs():
    """None when this machine runs 32-bit x86 programs, else why not."""
    if os.environ.get(PRETEND_NO_I386):
        return "no 32-bit programs: pretended, as %s is set" % PRETEND_NO_I386
    try:
        loader = wine.find("wine")
    except wine.WineMissing as missing:
        return "no 32-bit Wine: %s" % missing
    try:
        result = subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=60)
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return ("no 32-bit programs: this machine's kernel runs none "
                    "(the 32-bit Wine loader gives: Exec format error)")
        return "no 32-bit programs: the 32-bit Wine loader cannot start: %s" % error
    except subprocess.TimeoutExpired:
        return "no 32-bit programs: the 32-bit Wine loader did not answer in 60 s"
    if result.returncode != 0:
        said = result.stderr.decode(errors="replace").strip().splitlines()
        return "no 32-bit programs: the 32-bit Wine loader exits with %d%s" % (
            result.returncode, (": " + said[-1]) if said else "")
    return None


def skip(reason):
    """Ends a test script as skipped, for the reason given."""
    print("skipped: %s" % reason, flush=True)
    sys.exit(SKIP_CODE)


if __name__ == "__main__":
    # machine.py i386: exits 0 where 32-bit programs run, else 1 after the
    # reason, for scripts that build only what such a machine can use.
    if sys.argv[1:] != ["i386"]:
        sys.exit("usage: machine.py i386")
    missing = runs_32_bit_programs()
    if missing:
        print(missing)
    sys.exit(1 if missing else 0)
