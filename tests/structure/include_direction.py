#!/usr/bin/env python3
"""Fails when a source file includes a folder that must not depend on it.

The program is built in one direction: common/, then update/, then app/,
then the platform layers. A header of a lower folder that includes a higher
one would tie the core to what is built on it (and, for platform/, to a
system's headers).

Usage: include_direction.py SOURCE_ROOT
"""
import os
import re
import sys

# What each folder may include, besides itself.
ALLOWED = {
    "common": set(),
    "update": {"common"},
    "app": {"common", "update", "resources"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s*<([^>]+)>')
# The core is portable C++: a system's own headers belong to its layer.
PLATFORM_HEADERS = re.compile(r'^(windows\.h|win|shell|commctrl|uxtheme|Q|qt|curl/|unistd|sys/|fcntl|'
                              r'iconv|pthread|X11/)', re.IGNORECASE)
SOURCES = (".h", ".hpp", ".cpp", ".cc", ".c")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    problems = []
    checked = 0
    for folder, allowed in ALLOWED.items():
        for base, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(base, name)
                checked += 1
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match and match.group(1) not in allowed | {folder}:
                            problems.append(f"{os.path.relpath(path, root)}:{number}: "
                                            f"{folder}/ includes {match.group(1)}/")
                        system = SYSTEM_INCLUDE.match(line)
                        if system and PLATFORM_HEADERS.match(system.group(1)):
                            problems.append(f"{os.path.relpath(path, root)}:{number}: "
                                            f"{folder}/ includes the platform header "
                                            f"<{system.group(1)}>")
    for problem in problems:
        print(problem)
    print(f"{checked} files checked, {len(problems)} includes against the direction")
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
