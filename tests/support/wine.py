"""Where Wine's 64-bit loader and its server are, for the Windows tests and
benchmarks.

Debian's wine64 package alone puts both in /usr/lib/wine, off PATH; the wine
package adds wrappers on PATH. A loader found on PATH wins, so a Wine built
or installed elsewhere is used when it comes first. Each is looked up once,
when first asked for, so nothing fails where Wine is not needed.
"""
import functools
import os
import shutil

FALLBACK_DIRS = ("/usr/lib/wine",)


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
    raise WineMissing("%s is neither on PATH nor in %s: install wine64 (script/bootstrap does)"
                      % (name, ", ".join(fallback_dirs)))


@functools.lru_cache(maxsize=None)
def loader():
    """wine64, which runs a Windows program: [loader(), "prog.exe", ...]."""
    return find("wine64")


@functools.lru_cache(maxsize=None)
def server():
    """wineserver: -p keeps it up between programs, -k ends a prefix's programs.

    The one beside the loader comes first: a server from another Wine than
    the loader's speaks another protocol."""
    try:
        beside = os.path.join(os.path.dirname(os.path.realpath(loader())), "wineserver")
    except WineMissing:
        beside = None
    if beside and os.path.isfile(beside) and os.access(beside, os.X_OK):
        return beside
    return find("wineserver")
