#!/usr/bin/env python3
"""Runs script tests under Wine and compares what each did with its .expect file.

    run_script_test.py --build-dir BUILD [--program EXE] [--wine WINE] [-v] SCRIPT.qrv...

A script runs through qrvrun.exe (time limit, dialogs recorded and closed)
with the script's directory as the working directory. The exit code, standard
output, standard error and dialogs are compared with SCRIPT.expect (format in
tests/scripts/README.md). Several scripts run one after another inside a
single qrvrun process (its batch mode), each still an interpreter run of its
own with its own limit, answers and files; that spares each test the start of
a Wine process. Exit status: 0 pass, 1 fail, 2 broken test definition, 77
skipped (for several scripts: 1 when any failed, else 2 when any is broken,
else 77 when all were skipped).

The caller provides the environment: WINEPREFIX, DISPLAY and a running
wineserver. Nothing is sourced here.
"""

import argparse
import difflib
import json
import os
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import threading
import time

EXIT_PASS = 0
EXIT_FAIL = 1
EXIT_BROKEN = 2
EXIT_SKIP = 77  # ctest's SKIP_RETURN_CODE for script tests

DEFAULT_TIMEOUT_S = 20.0
# Extra time the outer `timeout` grants qrvrun to kill the program and exit by itself.
OUTER_GRACE_S = 10
OUTER_KILL_AFTER_S = 5
DEFAULT_ANSWER = "*"  # qrvrun: "expected dialog, close it the default way"
EXCEPTION_CODE_MIN = 0xC0000000

PROGRAMS = {"qrv": "qrv.exe", "runtime": "Quorivance.exe"}
SINGLE_SECTIONS = {"args", "program", "exit", "stdout", "stderr", "stdin", "timeout", "desktop", "skip"}
REPEATED_SECTIONS = {"dialog"}
NOEOL_SECTIONS = {"stdout", "stderr", "stdin"}
HEADER_RE = re.compile(r"^\[([a-z]+)(?: (noeol))?\]$")


class TestDefinitionError(Exception):
    """The .expect file cannot be understood."""


class Expectation:
    """What a test expects, parsed from its .expect file."""

    def __init__(self):
        self.switches = []
        self.params = []
        self.program = "qrv"
        self.exit_code = None
        self.stdout = ""
        self.stderr = ""
        self.stdin = None
        self.timeout_s = DEFAULT_TIMEOUT_S
        self.dialogs = []  # dicts: title (or None), answer (or None), text
        self.skip = None


def windows_path(unix_path):
    """Returns the Wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def substitute(text, names):
    """Replaces {script}, {scriptdir} and {scriptname} in an expected text."""
    for key, value in names.items():
        text = text.replace("{" + key + "}", value)
    return text


def split_lines(text):
    """Splits text after each LF only (str.splitlines would also split on FF, VT and others)."""
    return re.findall(r"[^\n]*\n|[^\n]+$", text)


def split_sections(text):
    """Splits .expect text into (name, option, body) in file order; a body is the
    exact text between its header line and the next header line."""
    sections = []
    current = None
    for number, line in enumerate(split_lines(text), 1):
        match = HEADER_RE.match(line.rstrip("\n"))
        if match and match.group(1) in SINGLE_SECTIONS | REPEATED_SECTIONS:
            current = [match.group(1), match.group(2), ""]
            sections.append(current)
        elif current is not None:
            current[2] += line
        elif line.strip() and not line.startswith("#"):
            raise TestDefinitionError(f"line {number}: text before the first section: {line.rstrip()!r}")
    return [tuple(section) for section in sections]


def drop_final_break(body):
    """Removes the line break that ends a body's last line."""
    return body[:-1] if body.endswith("\n") else body


def parse_dialog(body, names):
    """Parses a [dialog] section: optional 'title:'/'answer:' lines, then the text."""
    dialog = {"title": None, "answer": None}
    lines = drop_final_break(body).split("\n")
    index = 0
    while index < len(lines):
        key, sep, value = lines[index].partition(":")
        if not sep or key not in ("title", "answer") or dialog[key] is not None:
            break
        value = value[1:] if value.startswith(" ") else value
        dialog[key] = substitute(value, names) if key == "title" else value
        index += 1
    # Message texts rarely end with a line break, so the one ending the last line is not part of the text.
    dialog["text"] = substitute("\n".join(lines[index:]), names)
    return dialog


def parse_expect(path, names):
    """Reads and validates an .expect file."""
    try:
        with open(path, encoding="utf-8", newline="") as handle:
            text = handle.read().replace("\r\n", "\n")
    except FileNotFoundError:
        raise TestDefinitionError(f"missing {path}")
    expect = Expectation()
    seen = set()
    for name, option, body in split_sections(text):
        if name in seen and name not in REPEATED_SECTIONS:
            raise TestDefinitionError(f"[{name}] appears twice")
        if option and name not in NOEOL_SECTIONS:
            raise TestDefinitionError(f"[{name}] takes no option")
        seen.add(name)
        value = body.strip()
        if name == "args":
            # Blank lines inside the list are empty arguments; trailing ones are layout.
            args = [substitute(line, names) for line in body.rstrip("\n").split("\n")] if body.strip("\n") else []
            if "--" in args:
                cut = args.index("--")
                expect.switches, expect.params = args[:cut], args[cut + 1:]
            else:
                expect.switches = args
        elif name == "program":
            if value not in PROGRAMS:
                raise TestDefinitionError(f"[program] must be one of {sorted(PROGRAMS)}, not {value!r}")
            expect.program = value
        elif name == "exit":
            try:
                expect.exit_code = int(value, 0)
            except ValueError:
                raise TestDefinitionError(f"[exit] is not a number: {value!r}")
        elif name == "timeout":
            try:
                expect.timeout_s = float(value)
            except ValueError:
                raise TestDefinitionError(f"[timeout] is not a number of seconds: {value!r}")
            if expect.timeout_s <= 0:
                raise TestDefinitionError("[timeout] must be positive")
        elif name in ("stdout", "stderr"):
            setattr(expect, name, substitute(drop_final_break(body) if option else body, names))
        elif name == "stdin":
            expect.stdin = drop_final_break(body) if option else body
        elif name == "dialog":
            expect.dialogs.append(parse_dialog(body, names))
        elif name == "skip":
            expect.skip = value or "skipped"
    if expect.exit_code is None and expect.skip is None:
        raise TestDefinitionError("[exit] is required")
    return expect


def normalise(text):
    """Turns CRLF into LF, as the comparison ignores the Windows line ending."""
    return text.replace("\r\n", "\n")


def text_diff(label, expected, actual):
    """Describes a mismatch as a line diff that makes line breaks visible."""
    expected_lines = [line.replace("\n", "\u23ce") for line in split_lines(expected)]
    actual_lines = [line.replace("\n", "\u23ce") for line in split_lines(actual)]
    diff = difflib.unified_diff(expected_lines, actual_lines, "expected", "actual", lineterm="", n=3)
    text = f"{label} differs (\u23ce marks a line break):\n" + "\n".join(diff)
    if expected.rstrip("\n") == actual.rstrip("\n"):
        text += ("\n(only the final line breaks differ. Sections are exact: a blank line before"
                 " the next section header belongs to the text; [stdout noeol] drops the last one.)")
    return text


def describe_dialog(record):
    """One dialog record as indented text for failure messages."""
    text = "\n".join(("    " + line).rstrip() for line in normalise(record.get("text", "")).split("\n"))
    return (f"title: {record.get('title')!r}\nbuttons: {record.get('buttons')}\n"
            f"pressed: {record.get('pressed')!r}\ntext:\n{text}")


def read_report(path):
    """Reads qrvrun's JSON-lines report (missing or partial lines are tolerated)."""
    records = []
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                line = line.strip()
                if line:
                    try:
                        records.append(json.loads(line))
                    except json.JSONDecodeError:
                        records.append({"event": "garbled", "text": line})
    except FileNotFoundError:
        pass
    return records


def same_caption(a, b):
    """Compares button captions the way qrvrun matches answers."""
    return a.replace("&", "").casefold() == b.replace("&", "").casefold()


def check_dialogs(expected, captured):
    """Compares dialogs in order; returns a list of failure descriptions."""
    failures = []
    for index in range(max(len(expected), len(captured))):
        number = index + 1
        if index >= len(captured):
            want = expected[index]
            failures.append(f"dialog {number} did not appear; expected text:\n{want['text']}")
            continue
        got = captured[index]
        if index >= len(expected):
            failures.append(f"unexpected dialog {number} (closed by the harness):\n{describe_dialog(got)}")
            continue
        want = expected[index]
        text = normalise(got.get("text", ""))
        if text != want["text"]:
            failures.append(text_diff(f"dialog {number} text", want["text"], text))
        if want["title"] is not None and got.get("title") != want["title"]:
            failures.append(f"dialog {number}: title {got.get('title')!r}, expected {want['title']!r}")
        if want["answer"] is not None:
            pressed = got.get("pressed") or ""
            if not got.get("answered") or not same_caption(pressed, want["answer"]):
                failures.append(f"dialog {number}: could not answer {want['answer']!r};"
                                f" buttons were {got.get('buttons')}")
    return failures


def build_command(args, expect, script):
    """Returns the command line that runs the test through qrvrun under Wine."""
    bin_dir = os.path.join(args.build_dir, "bin")
    program = args.program or os.path.join(bin_dir, PROGRAMS[expect.program])
    command = [windows_path(program)] + expect.switches
    if expect.program != "runtime" or args.program:
        command.append(windows_path(script))
    command += expect.params
    return command


# What Wine prints when its X11 driver aborts on an X protocol error.
WINE_X_ERROR = b"X Error of failed request"
# Lines Wine itself writes to a program's standard error that say nothing
# about the program: the common file dialog asks for every drive's volume
# label, and Wine cannot read the device behind Z: (the Unix root).
WINE_NOISE = re.compile(r'^wine: Read access denied for device L"[^"\n]*", '
                        r"FS volume label and serial are not available\.\n", re.MULTILINE)


def harness_switches(expect, report_path):
    """qrvrun's switches for one test: its time limit, report file and dialog answers."""
    switches = ["--timeout", str(max(1, int(expect.timeout_s * 1000))), "--report", windows_path(report_path)]
    for dialog in expect.dialogs:
        switches += ["--answer", dialog["answer"] or DEFAULT_ANSWER]
    return switches


def write_stdin(expect, path):
    """Writes the text the test feeds to standard input (empty by default)."""
    with open(path, "wb") as handle:
        handle.write(expect.stdin.encode("utf-8") if expect.stdin is not None else b"")


def run(args, expect, script, temp):
    """Runs the test; returns the command, its directory, the completed process
    (returncode None when killed from here) and qrvrun's report records."""
    report_path = os.path.join(temp, "report.jsonl")
    qrvrun = os.path.join(args.build_dir, "bin", "qrvrun.exe")
    harness = [args.wine, qrvrun] + harness_switches(expect, report_path)
    outer = ["timeout", "-k", str(OUTER_KILL_AFTER_S), str(int(expect.timeout_s) + OUTER_GRACE_S)]
    full = outer + harness + ["--"] + build_command(args, expect, script)
    cwd = os.path.dirname(script)
    if args.verbose:
        print(f"cd {shlex.quote(cwd)} && {shlex.join(full)}")
    # Files, not pipes: Wine's service processes (wineserver, services.exe) may be started by this
    # run, inherit its standard handles and outlive it, and a pipe would then never reach EOF.
    paths = {name: os.path.join(temp, name) for name in ("stdin", "stdout", "stderr")}
    write_stdin(expect, paths["stdin"])
    with open(paths["stdin"], "rb") as stdin, open(paths["stdout"], "wb") as stdout, \
            open(paths["stderr"], "wb") as stderr:
        process = subprocess.Popen(full, cwd=cwd, stdin=stdin, stdout=stdout, stderr=stderr)
        try:
            returncode = process.wait(timeout=expect.timeout_s + OUTER_GRACE_S + OUTER_KILL_AFTER_S + 5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            returncode = None
    with open(paths["stdout"], "rb") as stdout, open(paths["stderr"], "rb") as stderr:
        result = subprocess.CompletedProcess(full, returncode, stdout.read(), stderr.read())
    return full, cwd, result, read_report(report_path)


# qrvrun's report events that end a run.
FINAL_EVENTS = {"exit", "timeout", "error"}
# How often the batch watchdog looks at the running test's report.
BATCH_POLL_S = 0.2
# Batches run side by side: starting a program under Wine keeps one core
# busy only about half the time (the rest is waiting on wineserver), so a
# second batch uses what the first leaves.
PARALLEL_BATCHES = 2


class BatchTest:
    """One test of a batch: its script and expectation, and what running it gave,
    in the shape run() returns (command, cwd, result, records)."""

    def __init__(self, number, script, expect):
        self.number = number  # names its files in the batch's folder
        self.script = os.path.abspath(script)
        self.expect = expect
        self.cwd = os.path.dirname(self.script)
        self.command = None
        self.result = None
        self.records = []
        self.batch_note = None  # set when qrvrun ended or was killed while this test ran

    def path(self, temp, what):
        """The file of this test called WHAT (report, stdin, stdout, stderr) in the batch's folder."""
        return os.path.join(temp, f"{self.number:04d}.{what}")


def batch_line(test, switches, command, temp):
    """The arguments of one line of qrvrun's batch file: the test's own switches,
    its working folder and standard files, then the command."""
    files = []
    for stream in ("stdin", "stdout", "stderr"):
        files += ["--" + stream, windows_path(test.path(temp, stream))]
    return switches + ["--cwd", windows_path(test.cwd)] + files + ["--"] + command


def run_over(records):
    """True when qrvrun's report says the run has ended, one way or another."""
    return any(record.get("event") in FINAL_EVENTS for record in records)


def read_bytes(path):
    """The bytes of a file, or none when it does not exist."""
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except FileNotFoundError:
        return b""


def start_batch(args, tests, temp, name):
    """Writes the batch file for TESTS and starts qrvrun on it under `timeout`,
    which bounds the batch even if this runner is killed; returns the process
    and the paths of qrvrun's own output."""
    qrvrun = os.path.join(args.build_dir, "bin", "qrvrun.exe")
    lines = []
    for test in tests:
        report = test.path(temp, "report")
        for what in ("report", "stdout", "stderr"):
            if os.path.exists(test.path(temp, what)):
                os.remove(test.path(temp, what))
        write_stdin(test.expect, test.path(temp, "stdin"))
        switches = harness_switches(test.expect, report)
        command = build_command(args, test.expect, test.script)
        # What reruns this test alone: the same run as a single qrvrun.
        test.command = [args.wine, qrvrun] + switches + ["--"] + command
        lines.append(subprocess.list2cmdline(batch_line(test, switches, command, temp)))
        if getattr(args, "verbose", False):
            print(f"cd {shlex.quote(test.cwd)} && {shlex.join(test.command)}")
    batch = os.path.join(temp, f"{name}.txt")
    with open(batch, "w", encoding="utf-8", newline="\n") as handle:
        handle.write("\n".join(lines) + "\n")
    output = (os.path.join(temp, f"{name}.out"), os.path.join(temp, f"{name}.err"))
    # Every test's own limit, and a second each for qrvrun's closing of dialogs.
    limit_s = int(sum(test.expect.timeout_s + 1 for test in tests)) + OUTER_GRACE_S
    outer = ["timeout", "-k", str(OUTER_KILL_AFTER_S), str(limit_s)]
    # Files, not pipes, for the reason given in run().
    with open(output[0], "wb") as out, open(output[1], "wb") as err:
        process = subprocess.Popen(outer + [args.wine, qrvrun, "--batch", windows_path(batch)],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err)
    return process, output


def kill_batch(process):
    """Kills a batch: `timeout` and everything in the process group it made for
    itself, or the process alone if it has no group of its own."""
    try:
        group = os.getpgid(process.pid)
        if group != os.getpgid(0):
            os.killpg(group, signal.SIGKILL)
        else:
            process.kill()
    except ProcessLookupError:
        pass  # it ended on its own meanwhile
    process.wait()


def watch_batch(process, tests, temp, grace_s):
    """Waits for a batch to end. A test still running GRACE_S after its own
    time limit means qrvrun itself is stuck: the batch is killed. Returns
    whether it was."""
    current, since = 0, time.monotonic()
    while True:
        try:
            process.wait(timeout=BATCH_POLL_S)
            return False
        except subprocess.TimeoutExpired:
            pass
        while current < len(tests) and run_over(read_report(tests[current].path(temp, "report"))):
            current, since = current + 1, time.monotonic()
        if current < len(tests) and time.monotonic() - since > tests[current].expect.timeout_s + grace_s:
            kill_batch(process)
            return True


def run_batch(args, tests, temp, name):
    """Runs TESTS one after another inside one qrvrun process (qrvrun --batch),
    which spares each the start of a Wine process, and fills in what each gave.
    Every test keeps its own time limit, dialog answers, standard files and
    report. When qrvrun ends or is killed before the end of a test, that test
    fails and the tests after it go on in a new batch. NAME names the batch's
    own files in TEMP."""
    pending, round_number = list(tests), 0
    while pending:
        round_number += 1
        process, output = start_batch(args, pending, temp, f"{name}-{round_number}")
        # The self-test shortens the grace to see a stuck batch killed.
        killed = watch_batch(process, pending, temp, getattr(args, "batch_grace_s", OUTER_GRACE_S))
        for index, test in enumerate(pending):
            test.records = read_report(test.path(temp, "report"))
            over = run_over(test.records)
            # The report has the test's own exit code; the batch's status only matters for a test cut short.
            status = 0 if over else None if killed else process.returncode
            test.result = subprocess.CompletedProcess(test.command, status, read_bytes(test.path(temp, "stdout")),
                                                      read_bytes(test.path(temp, "stderr")))
            if not over:
                own = (read_bytes(output[0]) + read_bytes(output[1])).decode("utf-8", "replace").strip()
                ended = "killed" if killed else f"over (status {status})"
                test.batch_note = f"the batch was {ended} while this test ran; qrvrun's own output: {own or '(none)'}"
                pending = pending[index + 1:]
                break
        else:
            pending = []


def fits_batch(args, test):
    """False when an argument or answer holds a line break, which a batch line cannot carry."""
    words = harness_switches(test.expect, "") + build_command(args, test.expect, test.script)
    return not any("\n" in word or "\r" in word for word in words)


def run_many(args, tests, temp):
    """Runs TESTS, in batches where they fit one, and returns per test its
    failures (empty when it passed). The batches run side by side, so tests
    of one call may run at the same time, as separate ctest tests may."""
    batched = [test for test in tests if fits_batch(args, test)]
    # Dealt out in turn, so neighbouring tests (often alike in cost) go to different batches.
    shares = [batched[index::PARALLEL_BATCHES] for index in range(PARALLEL_BATCHES)]
    threads = [threading.Thread(target=run_batch, args=(args, share, temp, f"batch{index}"))
               for index, share in enumerate(shares) if share]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    verdicts = []
    for test in tests:
        if test.result is None:
            alone = os.path.join(temp, f"{test.number:04d}.alone")
            os.makedirs(alone, exist_ok=True)
            test.command, test.cwd, test.result, test.records = run(args, test.expect, test.script, alone)
        if WINE_X_ERROR in test.result.stderr:
            # The X error race described in run_one(): this test runs once more, alone.
            print(f"note: Wine reported an X error in {test.script}; running it again")
            again = os.path.join(temp, f"{test.number:04d}.again")
            os.makedirs(again, exist_ok=True)
            test.command, test.cwd, test.result, test.records = run(args, test.expect, test.script, again)
            test.batch_note = None
        failures = compare(test.expect, test.result, test.records)
        if test.batch_note:
            failures.append(test.batch_note)
        verdicts.append(failures)
    return verdicts


def compare(expect, result, records):
    """Checks exit code, output and dialogs; returns the failures, each fully described."""
    failures = []
    stdout = normalise(result.stdout.decode("utf-8", errors="replace"))
    stderr = WINE_NOISE.sub("", normalise(result.stderr.decode("utf-8", errors="replace")))
    events = {record.get("event") for record in records}
    exits = [record["code"] for record in records if record.get("event") == "exit"]
    for record in records:
        if record.get("event") == "error":
            failures.append(f"qrvrun could not start the program: {record.get('text')} (error {record.get('code')})")
        elif record.get("event") == "stuck":
            failures.append(f"dialog {record.get('title')!r} did not close when the harness pressed a button")
    if "timeout" in events:
        failures.append(f"timed out after {expect.timeout_s:g} s (the program and its children were killed)")
    elif result.returncode is None:
        failures.append("qrvrun did not finish in time and was killed from outside")
    elif not exits and "error" not in events:
        failures.append(f"qrvrun reported no exit (its exit status was {result.returncode});"
                        " see stderr for what went wrong")
    elif exits:
        # The report has the full 32-bit code; the Unix status keeps only the low byte.
        actual, wanted = exits[-1] & 0xFFFFFFFF, expect.exit_code & 0xFFFFFFFF
        if actual != wanted:
            detail = f" (exception 0x{actual:08X})" if actual >= EXCEPTION_CODE_MIN else ""
            failures.append(f"exit code {actual}{detail}, expected {expect.exit_code}")
    if stdout != expect.stdout:
        failures.append(text_diff("stdout", expect.stdout, stdout))
    if stderr != expect.stderr:
        failures.append(text_diff("stderr", expect.stderr, stderr))
    captured = [record for record in records if record.get("event") == "dialog"]
    failures += check_dialogs(expect.dialogs, captured)
    return failures


def reproduction(command, cwd):
    """A shell line that reruns the test by hand (the report file went with the temporary folder)."""
    index = command.index("--report")
    shown = command[:index] + command[index + 2:]
    prefix = os.environ.get("WINEPREFIX")
    env = f"WINEPREFIX={shlex.quote(prefix)} " if prefix else ""
    return f"cd {shlex.quote(cwd)} && {env}{shlex.join(shown)}"


def script_names(script):
    """The substitutions of a script's expected texts: its path, folder and name."""
    return {"script": windows_path(script), "scriptdir": windows_path(os.path.dirname(script)),
            "scriptname": os.path.basename(script)}


def print_failures(failures):
    """Prints a failed test's failures, one indented item each."""
    for failure in failures:
        print("  - " + failure.replace("\n", "\n    "))


def run_one(args, path):
    """Runs a single test in a qrvrun of its own, prints the verdict, returns the exit status."""
    script = os.path.abspath(path)
    try:
        expect = parse_expect(os.path.splitext(script)[0] + ".expect", script_names(script))
    except TestDefinitionError as error:
        print(f"BROKEN TEST {path}: {error}")
        return EXIT_BROKEN
    if expect.skip is not None:
        print(f"SKIP: {expect.skip}")
        return EXIT_SKIP

    with tempfile.TemporaryDirectory(prefix="qrvtest-") as temp:
        command, cwd, result, records = run(args, expect, script, temp)
        if WINE_X_ERROR in result.stderr:
            # Wine's X11 driver sometimes loses a race with the X server while a
            # window closes and aborts the program; that is Wine's fault, not the
            # script's, so the run is repeated once.
            print("note: Wine reported an X error; running the test again")
            command, cwd, result, records = run(args, expect, script, temp)
    failures = compare(expect, result, records)
    if not failures:
        print(f"PASS {path}")
        return EXIT_PASS
    print(f"FAIL {path}")
    print_failures(failures)
    print(f"to reproduce:\n  {reproduction(command, cwd)}")
    return EXIT_FAIL


def run_several(args, paths):
    """Runs several tests in one batch, prints each verdict in the order given
    and a summary, returns the exit status."""
    lines, tests, broken, skipped = {}, [], [], []
    for number, path in enumerate(paths, 1):
        script = os.path.abspath(path)
        try:
            expect = parse_expect(os.path.splitext(script)[0] + ".expect", script_names(script))
        except TestDefinitionError as error:
            lines[number] = [f"BROKEN TEST {path}: {error}"]
            broken.append(path)
            continue
        if expect.skip is not None:
            lines[number] = [f"SKIP {path}: {expect.skip}"]
            skipped.append(path)
            continue
        tests.append(BatchTest(number, script, expect))
    failed = []
    with tempfile.TemporaryDirectory(prefix="qrvtests-") as temp:
        for test, failures in zip(tests, run_many(args, tests, temp)):
            path = paths[test.number - 1]
            if not failures:
                lines[test.number] = [f"PASS {path}"]
                continue
            failed.append(path)
            alone = shlex.join([sys.executable, os.path.abspath(__file__), "--build-dir", args.build_dir, path])
            lines[test.number] = [f"FAIL {path}"] + ["  - " + failure.replace("\n", "\n    ") for failure in failures]
            lines[test.number] += [f"to run it alone:\n  {alone}",
                                   f"to reproduce:\n  {reproduction(test.command, test.cwd)}"]
    for number in sorted(lines):
        print("\n".join(lines[number]))
    print(f"{len(tests) - len(failed)} of {len(paths)} tests passed"
          + (f", {len(skipped)} skipped" if skipped else "") + (f", {len(broken)} broken" if broken else ""))
    if failed or broken:
        print("failed: " + "; ".join(failed + broken))
    if failed:
        return EXIT_FAIL
    if broken:
        return EXIT_BROKEN
    return EXIT_SKIP if len(skipped) == len(paths) else EXIT_PASS


def main():
    """Parses the command line, runs the tests, prints the verdicts."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True, help="the CMake build directory (holds bin/)")
    parser.add_argument("--program", help="run this Unix path instead of qrv.exe (harness self-tests)")
    parser.add_argument("--wine", default=os.environ.get("QRV_WINE", "wine"), help="the wine launcher")
    parser.add_argument("-v", "--verbose", action="store_true", help="print the command before running it")
    parser.add_argument("scripts", nargs="+", metavar="script", help="the .qrv test scripts")
    args = parser.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    # Tests find the fixture programs of tests/fixtures through %QRV_BIN_DIR%.
    os.environ["QRV_BIN_DIR"] = windows_path(os.path.join(args.build_dir, "bin"))
    # Diffs carry the program's own characters; never die printing them to an ASCII pipe.
    sys.stdout.reconfigure(errors="backslashreplace")
    if len(args.scripts) == 1:
        return run_one(args, args.scripts[0])
    return run_several(args, args.scripts)


if __name__ == "__main__":
    sys.exit(main())
