#!/usr/bin/env python3
"""Runs a table of script tests kept in one file.

A .table file holds many small cases, each a script and its expectations in
the .expect format (see tests/scripts/README.md):

    === name of the case
    script lines...
    --- expect
    [exit]
    2
    [stderr]
    {script} (3) : ==> Missing ")"

Lines before the first "===" are comments. Each case is written to a
temporary folder as <name>.qrv and <name>.expect (the script as UTF-8 with LF
line endings, no final line break unless the case ends with a blank line)
and run by run_script_test.py, so every case gets the same time limits and
dialog handling as a standalone test.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def parse_table(path):
    """Returns a list of (name, script, expect) from a table file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    cases, name, script, expect, part = [], None, [], [], None
    for line in lines:
        if line.startswith("=== "):
            if name is not None:
                cases.append((name, script, expect))
            name, script, expect, part = line[4:].strip(), [], [], "script"
        elif line == "--- expect" and part == "script":
            part = "expect"
        elif part == "script":
            script.append(line)
        elif part == "expect":
            expect.append(line)
    if name is not None:
        cases.append((name, script, expect))
    result = []
    for name, script, expect in cases:
        if not expect:
            raise SystemExit(f"{path}: case '{name}' has no '--- expect' part")
        result.append((name, "\n".join(script), "\n".join(expect).rstrip("\n") + "\n"))
    return result


def file_name_for(index, name):
    slug = re.sub(r"[^A-Za-z0-9]+", "_", name).strip("_").lower()[:40]
    return f"{index:02d}_{slug}"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("table")
    args = parser.parse_args()
    cases = parse_table(args.table)
    failures = []
    with tempfile.TemporaryDirectory(prefix="qrvtable") as folder:
        for index, (name, script, expect) in enumerate(cases, 1):
            base = os.path.join(folder, file_name_for(index, name))
            with open(base + ".qrv", "w", encoding="utf-8", newline="") as f:
                f.write(script)
            with open(base + ".expect", "w", encoding="utf-8", newline="") as f:
                f.write(expect)
            run = subprocess.run(
                [sys.executable, os.path.join(HERE, "run_script_test.py"), "--build-dir", args.build_dir, base + ".qrv"],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
            status = "ok" if run.returncode == 0 else "FAILED"
            print(f"[{status}] {name}")
            if run.returncode != 0:
                failures.append(name)
                print(run.stdout)
    print(f"{len(cases) - len(failures)} of {len(cases)} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
