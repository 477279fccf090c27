#!/usr/bin/env python3
"""Times the benchmark programs in our language (qrv.exe under Wine), Lua 5.4
and Python 3 side by side, checks that all three computed the same value, and
prints raw times, start-up costs and the ratios ours / peer.

    bench.py --build-dir BUILD [--runs N] [--scale F] [--timeout S] [--only NAME]... [--json FILE]

The caller provides the environment for Wine (WINEPREFIX, DISPLAY, a running
wineserver); bench/run.sh does that and is what users run.

Every program runs as its own process and is timed on the wall clock from
start to exit, start-up included; the best of N runs counts. Start-up is
measured apart, on programs that do nothing, and shown beside the results:
nothing is subtracted from the raw times, and the ratios net of start-up are
labelled as such.

Our programs first run once through qrvrun.exe (the test harness's runner,
which records and closes dialogs), so that an interpreter that cannot run
them yet, or stops with an error dialog, shows up as a "not runnable yet" row
with its reason instead of hanging the run. A program that runs but prints a
wrong value fails the run (exit status 1), as does any peer failure.
"""

import argparse
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS_DIR = os.path.join(HERE, "programs")

EXIT_OK = 0
EXIT_FAILED = 1

DEFAULT_RUNS = 3
DEFAULT_TIMEOUT_S = 300
STARTUP_TIMEOUT_S = 60
# Extra time `timeout` gives a program to exit after its signal before it is killed.
KILL_AFTER_S = 5
# The Python-side backstop beyond the `timeout` limit, should `timeout` itself hang.
BACKSTOP_S = 30
# Extra time the outer `timeout` grants qrvrun to stop the program by itself.
QRVRUN_GRACE_S = 10
# Runs shorter than this are dominated by start-up and timer noise.
SHORT_RUN_S = 1.0
# Characters of a program's error output shown in a "not runnable" reason.
REASON_CHARS = 200


def sorted_numbers_summary(n):
    """First, middle and last of the sort_numeric values once sorted."""
    values = sorted(i * 7919 % 1000003 for i in range(1, n + 1))
    return f"{values[0]} {values[n // 2 - 1]} {values[n - 1]}"


def fibonacci(n):
    """The n-th Fibonacci number, computed the quick way for checking."""
    a, b = 0, 1
    for _ in range(n):
        a, b = b, a + b
    return a


# The 1 MB text of the text benchmarks: a 16-character field doubled 16 times.
TEXT_1MB = "abcdefghijklmno," * 65536
# How many "no," fields (each ends a 16-character field) that text holds.
TEXT_FIELDS = 65536


def instr_substr_total(n):
    """The sum instr_substr prints for n iterations."""
    total = 0
    for i in range(1, n + 1):
        pos = (i * 7919) % 1000000 + 1
        total += TEXT_1MB.find("no,", pos - 1) + 1
        total += ord(TEXT_1MB[pos - 1])
    return total


# The word the file benchmarks count, and the line that carries it.
NEEDLE_EVERY = 7


def text_lines(n):
    """The data file of the line benchmarks: n lines, every NEEDLE_EVERY-th
    holding the word "needle", each ended by a line feed."""
    return {"lines.txt": "".join(
        f"record {i}: {'needle ' if i % NEEDLE_EVERY == 0 else ''}lorem ipsum dolor sit amet consectetur\n"
        for i in range(1, n + 1))}


def written_lines_size(n):
    """The size in bytes of the file write_lines writes."""
    return sum(len(f"line {i} of the output\n") for i in range(1, n + 1))


class Benchmark:
    """One program written three times: its file stem, its work count (the one
    number literal every version contains), and how its printed value is
    checked and shown."""

    def __init__(self, name, work, count, expected, show, data=None, scaled=None):
        self.name = name
        self.work = work
        self.count = count
        self.expected = expected  # count -> the exact text every version must print
        self.show = show          # printed text -> short form for the table
        self.data = data          # count -> {file name: text} the runner writes first, or None
        # (count, factor) -> the count that does factor times the work; the
        # work of most programs is proportional to their count.
        self.scaled = scaled or (lambda n, factor: max(1, round(n * factor)))


def fibonacci_argument(n, factor):
    """The argument whose naive recursion makes about factor times the calls
    Fib(n) makes: each step up multiplies them by the golden ratio."""
    return max(1, n + round(math.log(factor) / math.log((1 + math.sqrt(5)) / 2)))


# Work counts are sized so that each of our programs runs for more than a
# second (the interpreter's start-up under Wine is a fifth of that).
BENCHMARKS = [
    Benchmark("sum_loop", "{:,} additions of the loop counter", 20_000_000,
              lambda n: str(n * (n + 1) // 2), lambda text: text),
    Benchmark("concat", "a {:,}-character string, one append at a time", 3_000_000,
              lambda n: "x" * n, lambda text: f"{len(text):,} characters"),
    Benchmark("fib", "naive recursive Fibonacci of {}", 27,
              lambda n: str(fibonacci(n)), lambda text: text, scaled=fibonacci_argument),
    Benchmark("array_push_sum", "{:,} integers pushed into an array, then summed with For", 1_000_000,
              lambda n: str(n * (n + 1) // 2), lambda text: text),
    Benchmark("text_keys", "{:,} text keys stored, then read back", 200_000,
              lambda n: str(n * (n + 1) // 2), lambda text: text),
    Benchmark("new_objects", "{:,} objects made with __New, one method call each", 300_000,
              lambda n: str(n * (n + 1) // 2), lambda text: text),
    Benchmark("instr_substr", "{:,} InStr and SubStr calls on a 1 MB text", 100_000,
              lambda n: str(instr_substr_total(n)), lambda text: text),
    Benchmark("strsplit", "StrSplit of {:,} comma-separated fields and a loop over them", 200_000,
              lambda n: f"{n + 1} {4 * n}", lambda text: text),
    Benchmark("strreplace", "{} StrReplace passes over a 1 MB text", 200,
              lambda n: str(n * (TEXT_FIELDS + len(TEXT_1MB) + TEXT_FIELDS)), lambda text: text),
    Benchmark("regex_match", "{:,} RegExMatch calls of one pattern on short texts", 200_000,
              lambda n: str(2 * n * (n + 1)), lambda text: text),
    Benchmark("regex_replace", "{} RegExReplace passes over a 1 MB text", 100,
              lambda n: str(n * (TEXT_FIELDS + len(TEXT_1MB) + TEXT_FIELDS)), lambda text: text),
    Benchmark("sort_numeric", "Sort, var, N of {:,} numeric lines", 200_000,
              lambda n: sorted_numbers_summary(n), lambda text: text),
    # Files: reading lines one at a time, reading a whole file and splitting
    # it, and writing lines through a file object.
    Benchmark("read_loop", "Loop, Read over {:,} lines, counting those with a word", 200_000,
              lambda n: str(n // NEEDLE_EVERY), lambda text: text, data=text_lines),
    Benchmark("fileread_split", "FileRead and StrSplit of {:,} lines, counting those with a word", 200_000,
              lambda n: str(n // NEEDLE_EVERY), lambda text: text, data=text_lines),
    Benchmark("write_lines", "{:,} lines written through a file object", 200_000,
              lambda n: str(written_lines_size(n)), lambda text: text),
    Benchmark("format", "{:,} Format(\"{{:08.3f}}\", x) calls", 1_000_000,
              lambda n: f"{8 * n} {(n % 1000) / 8.0:08.3f}", lambda text: text),
    # Built-in variable reads beside an ordinary variable read: the ratios
    # of read_index, read_tickcount and read_now to read_var are the cost
    # of a built-in read.
    Benchmark("read_var", "{:,} reads of an ordinary variable", 1_000_000,
              lambda n: str(n), lambda text: text),
    Benchmark("read_index", "{:,} reads of A_Index", 1_000_000,
              lambda n: str(n), lambda text: text),
    Benchmark("read_tickcount", "{:,} reads of A_TickCount", 1_000_000,
              lambda n: str(n), lambda text: text),
    Benchmark("read_now", "{:,} reads of A_Now", 1_000_000,
              lambda n: str(n), lambda text: text),
]


class Implementation:
    """A language: its label, file extension, and the command that runs a file."""

    def __init__(self, key, label, extension, command):
        self.key = key
        self.label = label
        self.extension = extension
        self.command = command  # script path -> argument list


def windows_path(unix_path):
    """The Wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def normalise_output(data):
    """Program output as text: CR LF turned into LF and one final line break removed."""
    text = data.decode("utf-8", errors="replace").replace("\r\n", "\n")
    return text[:-1] if text.endswith("\n") else text


def first_line(data, limit=REASON_CHARS):
    """The first non-empty line of some output, shortened for a table."""
    for line in data.decode("utf-8", errors="replace").splitlines():
        line = line.strip()
        if line:
            return line if len(line) <= limit else line[:limit] + "..."
    return ""


class RunResult:
    """What one run did: wall-clock seconds, exit status (None when killed
    from here), and the bytes it wrote."""

    def __init__(self, seconds, returncode, stdout, stderr):
        self.seconds = seconds
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr


def run_timed(command, cwd, limit_s):
    """Runs a command under `timeout`, output to files (Wine's service processes
    may inherit the handles and outlive the run, so a pipe might never close)."""
    full = ["timeout", "-k", str(KILL_AFTER_S), str(int(limit_s))] + command
    with tempfile.TemporaryDirectory(prefix="qrv-bench-out-") as temp:
        out_path = os.path.join(temp, "stdout")
        err_path = os.path.join(temp, "stderr")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            start = time.perf_counter()
            process = subprocess.Popen(full, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            # wait() with a timeout polls in sleeps of up to 50 ms, which would
            # round every time up to that step; a blocking wait sees the exit at
            # once, and the backstop timer kills the process should it hang.
            backstop = threading.Timer(limit_s + KILL_AFTER_S + BACKSTOP_S, process.kill)
            backstop.start()
            returncode = process.wait()
            seconds = time.perf_counter() - start
            if not backstop.is_alive():
                returncode = None
            backstop.cancel()
        with open(out_path, "rb") as out, open(err_path, "rb") as err:
            return RunResult(seconds, returncode, out.read(), err.read())


def read_report(path):
    """qrvrun's JSON-lines report; unreadable lines are skipped."""
    records = []
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                try:
                    records.append(json.loads(line))
                except ValueError:
                    pass
    except OSError:
        pass
    return records


def probe_ours(qrvrun, qrv, script, limit_s):
    """Runs one of our programs through qrvrun; returns (output bytes, reason it
    could not run or None)."""
    with tempfile.TemporaryDirectory(prefix="qrv-bench-probe-") as temp:
        report = os.path.join(temp, "report.jsonl")
        command = ["wine", qrvrun, "--timeout", str(int(limit_s * 1000)), "--report", windows_path(report),
                   "--", windows_path(qrv), windows_path(script)]
        result = run_timed(command, os.path.dirname(script), limit_s + QRVRUN_GRACE_S)
        records = read_report(report)
    for record in records:
        if record.get("event") == "dialog":
            # The message only: an error dialog goes on with the lines around the error.
            text = " ".join(str(record.get("text", "")).split("Line#")[0].split())
            return result.stdout, f"stopped with a dialog: {record.get('title', '')}: {text}"[:REASON_CHARS]
        if record.get("event") == "error":
            return result.stdout, f"could not be started: {record.get('text')}"
        if record.get("event") == "timeout":
            return result.stdout, f"did not finish within {limit_s:g} s"
    exits = [record.get("code") for record in records if record.get("event") == "exit"]
    if result.returncode is None or not exits:
        return result.stdout, f"qrvrun reported no exit (status {result.returncode}): {first_line(result.stderr)}"
    if exits[-1] != 0:
        return result.stdout, f"exit code {exits[-1]}: {first_line(result.stderr)}"
    return result.stdout, None


def diagnose(result, limit_s):
    """Why a run did not succeed, or None when it exited with status 0."""
    if result.returncode is None or result.returncode == 124:
        return f"did not finish within {limit_s:g} s"
    if result.returncode != 0:
        return f"exit status {result.returncode}: {first_line(result.stderr)}"
    return None


def scaled_copy(source, count, scaled, folder):
    """Copies a program into folder with its work count replaced by the scaled one."""
    with open(source, encoding="utf-8") as handle:
        text = handle.read()
    pattern = re.compile(r"(?<![0-9]){}(?![0-9])".format(count))
    found = len(pattern.findall(text))
    if found != 1:
        raise SystemExit(f"{source}: the work count {count} must appear exactly once, found {found} times")
    target = os.path.join(folder, os.path.basename(source))
    with open(target, "w", encoding="utf-8", newline="") as handle:
        handle.write(pattern.sub(str(scaled), text))
    return target


def describe_mismatch(benchmark, got, expected):
    """How a printed value differs from the expected one, in a line."""
    if benchmark.show(got) != benchmark.show(expected):
        return f"printed {benchmark.show(got)!r}, expected {benchmark.show(expected)!r}"
    index = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
    return f"printed {got[index:index + 20]!r} at character {index:,}, expected {expected[index:index + 20]!r}"


def best(results):
    """The shortest time among successful runs, or None."""
    times = [result.seconds for result in results]
    return min(times) if times else None


def format_seconds(value):
    """A time for the tables."""
    return f"{value:.3f} s" if value is not None else "-"


def format_ratio(numerator, denominator):
    """ours / peer, or a dash when either side is missing or not positive."""
    if numerator is None or denominator is None or denominator <= 0 or numerator <= 0:
        return "-"
    return f"{numerator / denominator:.2f}x"


def tool_version(command):
    """The first line a tool prints about its version."""
    try:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=STARTUP_TIMEOUT_S)
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"
    # Lua follows its version with a copyright after two spaces.
    return first_line(result.stdout + result.stderr).split("  ")[0] or "unknown"


def print_table(rows, header):
    """Prints rows of cells in left-aligned columns under a header row."""
    widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
    for row in [header] + rows:
        print("  " + "  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())


def parse_args(argv):
    """The command line."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", required=True, help="the build folder holding bin/qrv.exe")
    parser.add_argument("--runs", type=int, default=DEFAULT_RUNS, help="runs per program; the best counts")
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every work count (same for all three)")
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT_S, help="seconds one run may take")
    parser.add_argument("--only", action="append", default=[], help="run only this benchmark (repeatable)")
    parser.add_argument("--json", help="also write the results to this file")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.scale <= 0 or args.timeout <= 0:
        parser.error("--runs, --scale and --timeout must be positive")
    known = {benchmark.name for benchmark in BENCHMARKS}
    for name in args.only:
        if name not in known:
            parser.error(f"unknown benchmark {name!r}; known: {', '.join(sorted(known))}")
    return args


def main(argv):
    """Runs the start-up measurements and every selected benchmark; returns the exit status."""
    args = parse_args(argv)
    bin_dir = os.path.join(os.path.abspath(args.build_dir), "bin")
    qrv = os.path.join(bin_dir, "qrv.exe")
    qrvrun = os.path.join(bin_dir, "qrvrun.exe")
    lua = shutil.which("lua5.4")
    # The interpreter running this script, not a version-manager shim in front
    # of it, whose own start-up would be counted as Python's.
    python = sys.executable if os.path.basename(sys.executable).startswith("python3") else shutil.which("python3")
    wine = shutil.which("wine")
    missing = [name for name, path in (("lua5.4", lua), ("python3", python), ("wine", wine)) if not path]
    if missing:
        print(f"missing tools: {', '.join(missing)} (scripts/setup.sh installs them)", file=sys.stderr)
        return EXIT_FAILED
    if not os.path.isfile(qrv):
        print(f"{qrv} does not exist; build it with scripts/build.sh qrv", file=sys.stderr)
        return EXIT_FAILED
    have_qrvrun = os.path.isfile(qrvrun)

    ours = Implementation("qrv", "qrv (Wine)", ".qrv", lambda script: ["wine", qrv, windows_path(script)])
    peers = [
        Implementation("lua", "lua5.4", ".lua", lambda script: [lua, script]),
        Implementation("python", "python3", ".py", lambda script: [python, script]),
    ]
    selected = [b for b in BENCHMARKS if not args.only or b.name in args.only]
    failed = False
    report = {"runs": args.runs, "scale": args.scale, "startup": {}, "benchmarks": {}}

    print(f"Quorivance benchmarks: wall-clock seconds, best of {args.runs} runs, start-up included")
    print(f"  {tool_version(['wine', '--version'])}; {tool_version([lua, '-v'])};"
          f" {tool_version([python, '--version'])} ({python})")
    print()

    # Start-up: programs that do nothing. One untimed round first, so that
    # Wine's services are up and every file is in the cache.
    startup_commands = [
        ("qrv", "qrv.exe on a comment-only script (Wine)",
         ["wine", qrv, windows_path(os.path.join(PROGRAMS_DIR, "startup.qrv"))]),
        ("wine", "wine cmd /c exit (Wine alone)", ["wine", "cmd", "/c", "exit"]),
        ("lua", "lua5.4 -e ''", [lua, "-e", ""]),
        ("python", "python3 -c pass", [python, "-c", "pass"]),
    ]
    startup = {}
    rows = []
    for key, label, command in startup_commands:
        problem = diagnose(run_timed(command, PROGRAMS_DIR, STARTUP_TIMEOUT_S), STARTUP_TIMEOUT_S)
        results = []
        while not problem and len(results) < args.runs:
            results.append(run_timed(command, PROGRAMS_DIR, STARTUP_TIMEOUT_S))
            problem = diagnose(results[-1], STARTUP_TIMEOUT_S)
        startup[key] = None if problem else best(results)
        rows.append([label, format_seconds(startup[key]) if not problem else f"failed: {problem}"])
        if problem and key != "qrv":
            failed = True
    print("Start-up (a program that does nothing)")
    print_table(rows, ["program", "best"])
    report["startup"] = startup
    print()

    results_table = []
    notes = []
    with tempfile.TemporaryDirectory(prefix="qrv-bench-") as work:
        for benchmark in selected:
            count = benchmark.scaled(benchmark.count, args.scale)
            expected = benchmark.expected(count)
            entry = {"count": count, "times": {}, "best": {}, "status": {}}
            # The data the programs read lies beside them, written once for all three.
            for file_name, text in (benchmark.data(count) if benchmark.data else {}).items():
                with open(os.path.join(work, file_name), "w", encoding="utf-8", newline="") as handle:
                    handle.write(text)
            row = [benchmark.name, benchmark.work.format(count)]
            shown = None

            # Our side: probe first; time only what runs and prints the right value.
            script = scaled_copy(os.path.join(PROGRAMS_DIR, benchmark.name + ours.extension), benchmark.count,
                                 count, work)
            reason = None
            if have_qrvrun:
                output, reason = probe_ours(qrvrun, qrv, script, args.timeout)
                if reason is None and not normalise_output(output):
                    reason = "printed nothing"
                elif reason is None and normalise_output(output) != expected:
                    reason = "mismatch"
            runs = []
            if reason is None:
                for _ in range(args.runs):
                    result = run_timed(ours.command(script), work, args.timeout)
                    problem = diagnose(result, args.timeout)
                    text = normalise_output(result.stdout)
                    if problem or not text:
                        reason = problem or "printed nothing"
                        break
                    if text != expected:
                        reason = "mismatch"
                        output = result.stdout
                        break
                    runs.append(result)
            if reason == "mismatch":
                failed = True
                got = normalise_output(output)
                notes.append(f"{benchmark.name}: qrv {describe_mismatch(benchmark, got, expected)}")
                row.append("WRONG VALUE")
                entry["status"][ours.key] = "mismatch"
            elif reason is not None:
                notes.append(f"{benchmark.name}: qrv not runnable yet: {reason}")
                row.append("not runnable yet")
                entry["status"][ours.key] = "not runnable yet: " + reason
            else:
                entry["times"][ours.key] = [r.seconds for r in runs]
                entry["best"][ours.key] = best(runs)
                entry["status"][ours.key] = "ok"
                row.append(format_seconds(best(runs)))
                shown = benchmark.show(expected)

            for peer in peers:
                script = scaled_copy(os.path.join(PROGRAMS_DIR, benchmark.name + peer.extension), benchmark.count,
                                     count, work)
                runs = []
                status = "ok"
                for _ in range(args.runs):
                    result = run_timed(peer.command(script), work, args.timeout)
                    problem = diagnose(result, args.timeout)
                    text = normalise_output(result.stdout)
                    if problem:
                        status = problem
                        break
                    if text != expected:
                        status = "mismatch"
                        notes.append(f"{benchmark.name}: {peer.label} {describe_mismatch(benchmark, text, expected)}")
                        break
                    runs.append(result)
                entry["status"][peer.key] = status
                if status != "ok":
                    failed = True
                    if status != "mismatch":
                        notes.append(f"{benchmark.name}: {peer.label} failed: {status}")
                    row.append("WRONG VALUE" if status == "mismatch" else "FAILED")
                    continue
                entry["times"][peer.key] = [r.seconds for r in runs]
                entry["best"][peer.key] = best(runs)
                row.append(format_seconds(best(runs)))
                shown = benchmark.show(expected)
            row.append(shown if shown is not None else "-")
            results_table.append(row)
            report["benchmarks"][benchmark.name] = entry

    print("Results (best run; every implementation must print the same value)")
    print_table(results_table, ["benchmark", "work", ours.label] + [p.label for p in peers] + ["value"])
    print()

    ratio_rows = []
    net_rows = []
    short = []
    for benchmark in selected:
        entry = report["benchmarks"][benchmark.name]
        ours_best = entry["best"].get(ours.key)
        ratio_rows.append([benchmark.name] + [format_ratio(ours_best, entry["best"].get(p.key)) for p in peers])
        net_ours = ours_best - startup["qrv"] if ours_best is not None and startup.get("qrv") is not None else None
        net = []
        for peer in peers:
            peer_best = entry["best"].get(peer.key)
            net_peer = peer_best - startup[peer.key] if peer_best is not None and startup.get(peer.key) else None
            net.append(format_ratio(net_ours, net_peer))
        net_rows.append([benchmark.name] + net)
        for key, value in entry["best"].items():
            if value is not None and value < SHORT_RUN_S:
                short.append(f"{benchmark.name}/{key}")
    print("Ratios ours / peer (raw times; above 1 means ours is slower)")
    print_table(ratio_rows, ["benchmark"] + [f"qrv / {p.label}" for p in peers])
    print()
    print("Ratios ours / peer with each program's own start-up time (above) subtracted")
    print_table(net_rows, ["benchmark"] + [f"qrv / {p.label}" for p in peers])

    if short:
        print()
        print(f"Runs under {SHORT_RUN_S:g} s (start-up and timer noise weigh more): {', '.join(short)}")
    if notes:
        print()
        for note in notes:
            print(f"note: {note}")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as handle:
            json.dump(report, handle, indent=2)
    return EXIT_FAILED if failed else EXIT_OK


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
