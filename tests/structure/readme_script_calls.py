#!/usr/bin/env python3
"""Fails when a call of a script/ program that the READMEs show no longer works.

Every `script/NAME ARGS` in a README's code blocks and code spans is run as
it stands, with the environment settings written before it, and with
KESTRUNE_SCRIPT_DRY_RUN=1: each script then does everything up to its first
download, install or build and says what that would be, so the check builds
nothing. Each script is also given an argument it takes nowhere, which must
be refused (exit 2), or this check could not tell a parsed call from an
ignored one.

Usage: readme_script_calls.py SOURCE_ROOT
"""
import os
import re
import shlex
import subprocess
import sys

READMES = ("README.md", "CONTRIBUTING.md", "demo/README.md", "deploy/nginx/README.md",
           "bench/README.md")
FENCE = re.compile(r"^```[^\n]*\n(.*?)^```", re.MULTILINE | re.DOTALL)
SPAN = re.compile(r"`([^`]+)`")
ASSIGNMENT = re.compile(r"^[A-Z_][A-Z0-9_]*=")


def snippets(text):
    """The shell text of a README: each code-block line, each code span."""
    for block in FENCE.findall(text):
        yield from block.splitlines()
    yield from SPAN.findall(FENCE.sub("", text))


def calls(snippet):
    """(environment, argv) of each script/ program the snippet runs."""
    try:
        words = shlex.split(snippet, comments=True)
    except ValueError:
        return
    command = []
    for word in words + [";"]:
        if word not in (";", "&&", "||", "|"):
            command.append(word)
            continue
        env = {}
        while command and ASSIGNMENT.match(command[0]):
            name, value = command.pop(0).split("=", 1)
            env[name] = value
        if command and command[0].startswith("script/"):
            yield env, command
        command = []


def run(root, env, argv):
    environment = dict(os.environ, KESTRUNE_SCRIPT_DRY_RUN="1", **env)
    return subprocess.run(argv, cwd=root, env=environment, capture_output=True, text=True,
                          timeout=60)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    shown = {}
    for readme in READMES:
        with open(os.path.join(root, readme), encoding="utf-8") as f:
            for snippet in snippets(f.read()):
                for env, argv in calls(snippet):
                    shown.setdefault((tuple(sorted(env.items())), tuple(argv)), readme)
    problems = []
    for (env, argv), readme in sorted(shown.items()):
        text = " ".join([f"{k}={v}" for k, v in env] + list(argv))
        if not os.access(os.path.join(root, argv[0]), os.X_OK):
            problems.append(f"{readme}: {text}: no such program")
            continue
        result = run(root, dict(env), argv)
        print(f"{readme}: {text}: exit {result.returncode} {result.stdout.strip()}")
        if result.returncode != 0:
            problems.append(f"{readme}: {text}: exit {result.returncode}: {result.stderr.strip()}")
    for script in sorted({argv[0] for _, argv in shown}):
        result = run(root, {}, [script, "--no-such-option"])
        if result.returncode != 2:
            problems.append(f"{script} --no-such-option: exit {result.returncode}, not 2 "
                            "(the script does not refuse what it does not take)")
    if len(shown) < 5:
        problems.append(f"only {len(shown)} script calls found in the READMEs")
    for problem in problems:
        print(problem, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
