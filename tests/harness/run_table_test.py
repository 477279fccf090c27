#!/usr/bin/env python3
"""Runs a table of script tests kept in one file.

    run_table_test.py --build-dir BUILD [--case TEXT] [--wine WINE] [--program EXE] TABLE

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
line endings, no final line break unless the case ends with a blank line).
Every case is an interpreter run of its own, with the same time limit, dialog
handling and comparison as a standalone test (run_script_test.py), but the
cases run one after another inside a single qrvrun process (its batch mode),
so the table pays for one Wine start instead of one per case. --case runs only
the cases whose name contains TEXT; --program runs that Unix path instead of
qrv.exe (harness self-tests). Exit status: 0 when no case failed.
"""
import argparse
import os
import re
import shlex
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import run_script_test as runner  # noqa: E402  (found through the line above)


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


def rerun_hint(args, name):
    """A shell line that runs just this case again."""
    prefix = os.environ.get("WINEPREFIX")
    env = f"WINEPREFIX={shlex.quote(prefix)} " if prefix else ""
    program = f" --program {shlex.quote(args.program)}" if args.program else ""
    return (f"{env}{shlex.quote(sys.executable)} {shlex.quote(os.path.abspath(__file__))} --build-dir "
            f"{shlex.quote(args.build_dir)}{program} --case {shlex.quote(name)} "
            f"{shlex.quote(os.path.abspath(args.table))}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--wine", default=os.environ.get("QRV_WINE", "wine"), help="the wine launcher")
    parser.add_argument("--case", default="", help="run only the cases whose name contains this")
    parser.add_argument("--program", help="run this Unix path instead of qrv.exe (harness self-tests)")
    parser.add_argument("table")
    args = parser.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    # Tests find the fixture programs of tests/fixtures through %QRV_BIN_DIR%.
    os.environ["QRV_BIN_DIR"] = runner.windows_path(os.path.join(args.build_dir, "bin"))
    sys.stdout.reconfigure(errors="backslashreplace")
    cases = [case for case in parse_table(args.table) if args.case in case[0]]
    if not cases:
        print(f"no case of {args.table} has {args.case!r} in its name")
        return 1

    failed, skipped = [], []
    with tempfile.TemporaryDirectory(prefix="qrvtable") as folder:
        tests, verdicts = [], {}  # verdicts: case number -> list of failures, or a skip reason
        for index, (name, script, expect_text) in enumerate(cases, 1):
            base = os.path.join(folder, file_name_for(index, name))
            with open(base + ".qrv", "w", encoding="utf-8", newline="") as f:
                f.write(script)
            with open(base + ".expect", "w", encoding="utf-8", newline="") as f:
                f.write(expect_text)
            try:
                expect = runner.parse_expect(base + ".expect", runner.script_names(base + ".qrv"))
            except runner.TestDefinitionError as error:
                verdicts[index] = [f"broken case: {error}"]
                continue
            if expect.skip is not None:
                verdicts[index] = expect.skip
                continue
            tests.append(runner.BatchTest(index, base + ".qrv", expect))
        work = os.path.join(folder, "runs")
        os.makedirs(work)
        for test, failures in zip(tests, runner.run_many(args, tests, work)):
            verdicts[test.number] = failures

        for index, (name, _, _) in enumerate(cases, 1):
            verdict = verdicts[index]
            if isinstance(verdict, str):
                print(f"[skipped] {name}: {verdict}")
                skipped.append(name)
            elif verdict:
                print(f"[FAILED] {name}")
                for failure in verdict:
                    print("  - " + failure.replace("\n", "\n    "))
                print(f"  to rerun this case:\n    {rerun_hint(args, name)}")
                failed.append(name)
            else:
                print(f"[ok] {name}")
    passed = len(cases) - len(failed) - len(skipped)
    print(f"{passed} of {len(cases)} cases passed" + (f", {len(skipped)} skipped" if skipped else ""))
    if failed:
        print("failed: " + "; ".join(failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
