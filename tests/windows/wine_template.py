#!/usr/bin/env python3
"""Makes the Wine prefix every Windows suite of a test run copies, and
records what this machine can run, once per run (a CTest fixture).

A prefix's first start costs seconds; a copy of a made one costs a fraction
of that. What the machine lacks is written to machine.json beside the prefix
for the suites to skip on; only a fault of this script fails it.

    wine_template.py --out DIR [--needs i386]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

import harness
import machine
import wine


def make_prefix(out):
    """None when a 64-bit prefix was made in out/prefix, else why not."""
    env = harness.clean_environment()
    env["WINEPREFIX"] = os.path.join(out, "prefix")
    env["HOME"] = os.path.join(out, "home")
    os.makedirs(env["HOME"])
    try:
        loader = wine.loader()
        result = subprocess.run([loader, "wineboot", "--init"], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
        # The prefix is whole only once its server has written the registry.
        subprocess.run([wine.server(), "-w"], env=env, timeout=120)
    except wine.WineMissing as missing:
        return "no Wine: %s" % missing
    except (OSError, subprocess.TimeoutExpired) as error:
        return "Wine does not start: %s" % error
    if result.returncode != 0 or not os.path.isfile(os.path.join(env["WINEPREFIX"], "system.reg")):
        said = result.stderr.decode(errors="replace").strip().splitlines()
        return "Wine does not start: wineboot exits with %d%s" % (
            result.returncode, (": " + said[-1]) if said else "")
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--needs", default="", help="i386: every suite runs 32-bit programs")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    lacks = {"i386": machine.runs_32_bit_programs()}
    if "i386" in args.needs and lacks["i386"]:
        lacks["wine"] = "not started: no suite here can run without 32-bit programs"
    else:
        lacks["wine"] = make_prefix(out)
    with open(os.path.join(out, "machine.json"), "w") as f:
        json.dump(lacks, f, indent=1)
    for what, reason in sorted(lacks.items()):
        print("%s: %s" % (what, reason or "yes"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
