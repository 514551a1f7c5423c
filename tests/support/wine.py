"""Where Wine's loaders and its server are, for the Windows tests and
benchmarks.

Debian's wine64 package puts its loader and server in /usr/lib/wine, off
PATH, and wine32 (from the i386 architecture) its 32-bit loader `wine`
beside them; the wine package adds wrappers on PATH. A program found on
PATH wins, so a Wine built or installed elsewhere is used when it comes
first. Each is looked up once, when first asked for, so nothing fails where
Wine is not needed.
"""
import functools
import os
import shutil
import struct

FALLBACK_DIRS = ("/usr/lib/wine",)

# The Debian package that brings each program.
PACKAGES = {"wine": "wine32:i386", "wine64": "wine64", "wineserver": "wine64"}

# IMAGE_FILE_HEADER.Machine of a 32-bit x86 program.
MACHINE_I386 = 0x014C


class WineMissing(RuntimeError):
    pass


def find(name, path=None, fallback_dirs=FALLBACK_DIRS):
    """The full path of the program name: the first on path (PATH by
    default), else the first executable one in fallback_dirs."""
    found = shutil.which(name, path=path)
    if found:
        return os.path.abspath(found)
    for folder in fallback_dirs:
        candidate = os.path.join(folder, name)
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return candidate
    raise WineMissing("%s is neither on PATH nor in %s: install %s (script/bootstrap does)"
                      % (name, ", ".join(fallback_dirs), PACKAGES.get(name, "wine64")))


def machine(program):
    """The machine type in the PE header of a Windows program, or None when
    the file cannot be read or is no PE image."""
    try:
        with open(program, "rb") as f:
            dos = f.read(64)
            if len(dos) < 64 or dos[:2] != b"MZ":
                return None
            f.seek(struct.unpack_from("<I", dos, 0x3C)[0])
            pe = f.read(6)
    except OSError:
        return None
    if len(pe) < 6 or pe[:4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", pe, 4)[0]


def loader_name(program):
    """wine for a 32-bit x86 program, wine64 for anything else.

    NOTE: with Debian's Wine 8 (wine64 and wine32:i386 installed), a prefix
    made by either loader is a 64-bit (WoW64) one, and either loader runs
    both kinds of program there: wine64 hands a 32-bit program over to the
    32-bit loader and wine hands a 64-bit one to wine64 (the 32-bit program
    then runs as a WoW64 process). A prefix made with WINEARCH=win32 runs no
    program under wine64. Picking the program's own loader spares that
    hand-over and, when wine32 is missing, says so."""
    return "wine" if machine(program) == MACHINE_I386 else "wine64"


@functools.lru_cache(maxsize=None)
def _located(name):
    return find(name)


def loader(program=None):
    """The loader that runs a Windows program: [loader(prog), prog, ...].
    Without a program, wine64."""
    return _located(loader_name(program) if program is not None else "wine64")


@functools.lru_cache(maxsize=None)
def server():
    """wineserver: -p keeps it up between programs, -k ends a prefix's programs.
    One server serves a prefix's 32-bit and 64-bit programs alike.

    The one beside the 64-bit loader comes first: a server from another Wine
    than the loader's speaks another protocol."""
    try:
        beside = os.path.join(os.path.dirname(os.path.realpath(loader())), "wineserver")
    except WineMissing:
        beside = None
    if beside and os.path.isfile(beside) and os.access(beside, os.X_OK):
        return beside
    return find("wineserver")
