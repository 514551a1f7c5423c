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
import struct
import subprocess
import sys
import tempfile

import wine

SKIP_CODE = 77
PRETEND_NO_I386 = "KESTRUNE_TEST_PRETEND_NO_I386"


PRETENDED = "no 32-bit programs: pretended, as %s is set" % PRETEND_NO_I386
KERNEL_RUNS_NONE = "no 32-bit programs: this machine's kernel runs none"

# What the tiny program below exits with where it runs.
TINY_EXIT_CODE = 42


def tiny_i386_program():
    """A whole 32-bit x86 Linux program, needing nothing installed: one
    loadable segment (the ELF header, its program header and five
    instructions) that calls exit(42)."""
    base, header_size, segment_header_size = 0x08048000, 52, 32
    code = bytes([0x31, 0xDB,                  # xor ebx, ebx
                  0xB3, TINY_EXIT_CODE,        # mov bl, 42
                  0x31, 0xC0,                  # xor eax, eax
                  0x40,                        # inc eax: exit
                  0xCD, 0x80])                 # int 0x80
    size = header_size + segment_header_size + len(code)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1,  # executable, i386
                                 base + header_size + segment_header_size,
                                 header_size, 0, 0, header_size,
                                 segment_header_size, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return header + segment + code


def kernel_runs_i386(program=None):
    """None unless this machine's kernel surely runs no 32-bit x86 program,
    else why: Debian's 32-bit Wine and everything it would start need one.
    Asks before anything 32-bit is installed, by starting the tiny program
    (or the bytes given). A start that fails for another reason (a folder
    mounted noexec, say) tells nothing, so it answers None."""
    if os.environ.get(PRETEND_NO_I386):
        return PRETENDED
    with tempfile.TemporaryDirectory(prefix="kestrune-i386-") as folder:
        path = os.path.join(folder, "probe")
        with open(path, "wb") as f:
            f.write(program if program is not None else tiny_i386_program())
        os.chmod(path, 0o755)
        try:
            code = subprocess.run([path], stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=60).returncode
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                return KERNEL_RUNS_NONE + " (a 32-bit program gives: Exec format error)"
            return None
        except subprocess.TimeoutExpired:
            return None
    if code != TINY_EXIT_CODE:
        return KERNEL_RUNS_NONE + " (a 32-bit program exits with %d, not %d)" % (
            code, TINY_EXIT_CODE)
    return None


def runs_32_bit_programs():
    """None when this machine runs 32-bit x86 programs, else why not."""
    if os.environ.get(PRETEND_NO_I386):
        return PRETENDED
    try:
        loader = wine.find("wine")
    except wine.WineMissing as missing:
        # script/bootstrap leaves the 32-bit Wine out where the kernel
        # would not run it.
        return kernel_runs_i386() or "no 32-bit Wine: %s" % missing
    try:
        result = subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=60)
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return KERNEL_RUNS_NONE + " (the 32-bit Wine loader gives: Exec format error)"
        return "no 32-bit programs: the 32-bit Wine loader cannot start: %s" % error
    except subprocess.TimeoutExpired:
        return "no 32-bit programs: the 32-bit Wine loader did not answer in 60 s"
    if result.returncode != 0:
        said = result.stderr.decode(errors="replace").strip().splitlines()
        return "no 32-bit programs: the 32-bit Wine loader exits with %d%s" % (
            result.returncode, (": " + said[-1]) if said else "")
    # script/bootstrap leaves the 32-bit Wine out on the tiny program's word
    # alone; where the loader runs, the two must agree.
    disagreement = kernel_runs_i386()
    if disagreement:
        raise RuntimeError("the 32-bit Wine loader runs, but the probe script/bootstrap "
                           "trusts says: %s" % disagreement)
    return None


def skip(reason):
    """Ends a test script as skipped, for the reason given."""
    print("skipped: %s" % reason, flush=True)
    sys.exit(SKIP_CODE)


if __name__ == "__main__":
    # machine.py i386: exits 0 where 32-bit programs run, else 1 after the
    # reason, for scripts that build only what such a machine can use.
    # machine.py i386-kernel: the same, before Wine is installed, from the
    # kernel alone (script/bootstrap).
    probes = {"i386": runs_32_bit_programs, "i386-kernel": kernel_runs_i386}
    if len(sys.argv) != 2 or sys.argv[1] not in probes:
        sys.exit("usage: machine.py i386|i386-kernel")
    missing = probes[sys.argv[1]]()
    if missing:
        print(missing)
    sys.exit(1 if missing else 0)
