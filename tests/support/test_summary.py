#!/usr/bin/env python3
"""Lists the tests CTest skipped, each with its reason, from the JUnit
reports of script/test's presets (ctest --output-junit).

    test_summary.py REPORT.xml...

A host script says why it skipped in a line "skipped: REASON"; GoogleTest
writes "Skipped" and then the message given to GTEST_SKIP. Exits non-zero
when a report cannot be read, so a lost report is not taken for a clean run.
"""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree


def reason(output, fallback):
    found = re.search(r"^skipped: (.+)$", output, re.M)
    if found:
        return found.group(1).strip()
    found = re.search(r": Skipped\s*\n(.+)", output)
    if found:
        return found.group(1).strip()
    return fallback or "no reason given"


def skipped(report):
    """(preset, test name, reason) of every skipped test in one report."""
    preset = os.path.splitext(os.path.basename(report))[0]
    for case in ElementTree.parse(report).getroot().iter("testcase"):
        mark = case.find("skipped")
        if case.get("status") not in ("notrun", "disabled") and mark is None:
            continue
        output = "".join(e.text or "" for e in case.iter("system-out"))
        yield preset, case.get("name"), reason(output, mark.get("message") if mark is not None else "")


def main(reports):
    rows, broken = [], False
    for report in reports:
        try:
            rows.extend(skipped(report))
        except (OSError, ElementTree.ParseError) as error:
            print("test_summary: cannot read %s: %s" % (report, error), file=sys.stderr)
            broken = True
    if rows:
        print("script/test: %d test%s skipped" % (len(rows), "" if len(rows) == 1 else "s"))
        for preset, name, why in rows:
            print("  %-12s %-34s %s" % (preset, name, why))
    else:
        print("script/test: no test skipped")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
