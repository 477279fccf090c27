#!/usr/bin/env python3
"""Self-test of the script-test harness: runs qrvrun.exe (alone and in its
batch mode), run_script_test.py and run_table_test.py against dlgprobe.exe (a
GUI program that shows message boxes, sleeps, echoes, reads its input or
starts a copy of itself) under Wine.

    test_harness.py --build-dir BUILD [-k SUBSTRING] [-j JOBS]

Each case is one row of a table; the batch cases run rows of those tables
again as lines of one batch, which must give what each gives alone. Cases
run a few at a time: most of their time is spent waiting on Wine or on a time
limit, and each watches only its own processes. The caller provides
WINEPREFIX, DISPLAY and a wineserver, as for every test run under Wine.
"""

import argparse
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import time
import types
from dataclasses import dataclass, field

HARNESS_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RUNNER = os.path.join(HARNESS_DIR, "run_script_test.py")
TABLE_RUNNER = os.path.join(HARNESS_DIR, "run_table_test.py")
sys.path.insert(0, HARNESS_DIR)

import run_script_test as runner  # noqa: E402  (found through the line above)

# MessageBox results, from winuser.h.
IDOK, IDCANCEL, IDRETRY, IDYES, IDNO = 1, 2, 4, 6, 7
# qrvrun's exit codes on timeout, bad usage, and when the program cannot be started or does not exist.
EXIT_TIMEOUT, EXIT_USAGE, EXIT_CANNOT_RUN, EXIT_NOT_FOUND = 124, 125, 126, 127
# Wine's passing start failure, which qrvrun retries, and how many attempts it makes.
ERROR_INTERNAL_ERROR = 1359
START_ATTEMPTS = 5
# run_script_test.py's verdicts.
RUNNER_PASS, RUNNER_FAIL, RUNNER_BROKEN, RUNNER_SKIP = 0, 1, 2, 77

LIMIT_MS = 2000
# The batch's timed-out line only has to show that the lines after it still run.
BATCH_LIMIT_MS = 1000
# Wine start-up and shutdown on top of a time limit.
SLACK_S = 8.0
OUTER_LIMIT_S = 60
# How long killed processes may take to disappear from /proc.
KILL_GRACE_S = 3.0
# Cases running at once.
DEFAULT_JOBS = 6


@dataclass
class QrvrunCase:
    """One run of qrvrun.exe against dlgprobe and what must come of it."""
    name: str
    probe: list
    exit: int
    answers: list = field(default_factory=list)
    dialogs: list = field(default_factory=list)  # per dialog: the fields its record must have
    stdout: str = ""  # "{cwd}" stands for the run's folder as Windows writes it
    stderr: str = ""  # None: not compared (qrvrun's own message there names a path)
    limit_ms: int = 20000
    timed_out: bool = False
    min_s: float = 0.0
    max_s: float = 30.0
    program: str = None  # Windows path replacing dlgprobe
    other_process: bool = False  # the dialog must come from a process other than the one started
    killed: bool = False  # no dlgprobe of this run may be left running afterwards
    options: list = field(default_factory=list)  # more qrvrun switches
    error: object = None  # the report's error record: True for any, a number for that code, None for none
    retries: int = 0  # retry records the report must hold
    stdin: str = None  # text given to the program through --stdin
    cwd: bool = False  # the run's folder becomes the program's working folder through --cwd
    # Also run as a line of a batch case. Left out: cases that only wait, and
    # dialog cases whose handling the batch lines already go through.
    batch: bool = True
    limit_in_batch_ms: int = None  # a shorter time limit for its line of the batch


@dataclass
class RunnerCase:
    """One run of run_script_test.py with dlgprobe standing in for the interpreter."""
    name: str
    expect: str
    verdict: int
    says: list = field(default_factory=list)  # texts the runner's output must contain


def dialog(title, text, buttons, pressed, answered):
    """The fields a dialog record must have."""
    return {"title": title, "text": text, "buttons": buttons, "pressed": pressed, "answered": answered}


QRVRUN_CASES = [
    QrvrunCase("message box title and text are read",
               ["msgbox", "ok", "Probe `u00e9t`u00e9", "First line`nSecond line `u263a"],
               IDOK, answers=["OK"],
               dialogs=[dialog("Probe \u00e9t\u00e9", "First line\nSecond line \u263a", ["OK"], "OK", True)],
               stdout=f"pressed {IDOK}\n", batch=False),
    QrvrunCase("answer Yes", ["msgbox", "yesno", "Question", "Proceed?"], IDYES, answers=["Yes"],
               dialogs=[dialog("Question", "Proceed?", ["Yes", "No"], "Yes", True)], stdout=f"pressed {IDYES}\n"),
    QrvrunCase("answer No", ["msgbox", "yesno", "Question", "Proceed?"], IDNO, answers=["No"],
               dialogs=[dialog("Question", "Proceed?", ["Yes", "No"], "No", True)], stdout=f"pressed {IDNO}\n"),
    QrvrunCase("answer ignores case and &", ["msgbox", "yesnocancel", "Q", "Save?"], IDYES, answers=["&yES"],
               dialogs=[dialog("Q", "Save?", ["Yes", "No", "Cancel"], "Yes", True)], stdout=f"pressed {IDYES}\n",
               batch=False),
    QrvrunCase("unanswered Yes/No dialog is unexpected and closed with No",
               ["msgbox", "yesno", "Surprise", "Unexpected question"], IDNO,
               dialogs=[dialog("Surprise", "Unexpected question", ["Yes", "No"], "No", False)],
               stdout=f"pressed {IDNO}\n", batch=False),
    QrvrunCase("unanswered OK/Cancel dialog is closed with Cancel", ["msgbox", "okcancel", "Surprise", "Go on?"],
               IDCANCEL, dialogs=[dialog("Surprise", "Go on?", ["OK", "Cancel"], "Cancel", False)],
               stdout=f"pressed {IDCANCEL}\n", batch=False),
    QrvrunCase("answer naming a missing button leaves the dialog unanswered",
               ["msgbox", "ok", "Note", "Only OK here"], IDOK, answers=["Retry"],
               dialogs=[dialog("Note", "Only OK here", ["OK"], "OK", False)], stdout=f"pressed {IDOK}\n",
               batch=False),
    QrvrunCase("answers are used in order, one per dialog",
               ["msgbox", "yesno", "First", "one", "msgbox", "yesno", "Second", "two"], IDYES, answers=["No", "Yes"],
               dialogs=[dialog("First", "one", ["Yes", "No"], "No", True),
                        dialog("Second", "two", ["Yes", "No"], "Yes", True)],
               stdout=f"pressed {IDNO}\npressed {IDYES}\n", batch=False),
    QrvrunCase("answer * closes an expected dialog the default way",
               ["msgbox", "yesno", "First", "one", "msgbox", "yesno", "Second", "two"], IDYES, answers=["*", "Yes"],
               dialogs=[dialog("First", "one", ["Yes", "No"], "No", True),
                        dialog("Second", "two", ["Yes", "No"], "Yes", True)],
               stdout=f"pressed {IDNO}\npressed {IDYES}\n", batch=False),
    QrvrunCase("dialogs beyond the answers are unexpected",
               ["msgbox", "retrycancel", "First", "one", "msgbox", "yesno", "Second", "two"], IDNO, answers=["Retry"],
               dialogs=[dialog("First", "one", ["Retry", "Cancel"], "Retry", True),
                        dialog("Second", "two", ["Yes", "No"], "No", False)],
               stdout=f"pressed {IDRETRY}\npressed {IDNO}\n"),
    QrvrunCase("a program that never ends is killed at the time limit", ["sleep"], EXIT_TIMEOUT,
               limit_ms=LIMIT_MS, timed_out=True, min_s=LIMIT_MS / 1000, max_s=LIMIT_MS / 1000 + SLACK_S,
               limit_in_batch_ms=BATCH_LIMIT_MS),
    QrvrunCase("a grandchild that never ends is killed at the time limit", ["child", "sleep"], EXIT_TIMEOUT,
               limit_ms=LIMIT_MS, timed_out=True, min_s=LIMIT_MS / 1000, max_s=LIMIT_MS / 1000 + SLACK_S,
               killed=True, batch=False),
    QrvrunCase("a grandchild's dialog is seen and answered",
               ["child", "msgbox", "yesno", "Grandchild", "From a child process"], IDYES, answers=["Yes"],
               dialogs=[dialog("Grandchild", "From a child process", ["Yes", "No"], "Yes", True)],
               stdout=f"pressed {IDYES}\n", other_process=True),
    QrvrunCase("without a job, a grandchild's dialog is still seen",
               ["child", "msgbox", "yesno", "Grandchild", "No job"], IDNO, answers=["No"],
               dialogs=[dialog("Grandchild", "No job", ["Yes", "No"], "No", True)],
               stdout=f"pressed {IDNO}\n", other_process=True, options=["--no-job"]),
    QrvrunCase("without a job, a grandchild is still killed at the time limit", ["child", "sleep"], EXIT_TIMEOUT,
               limit_ms=LIMIT_MS, timed_out=True, min_s=LIMIT_MS / 1000, max_s=LIMIT_MS / 1000 + SLACK_S,
               killed=True, options=["--no-job"], batch=False),
    QrvrunCase("output and exit code pass through", ["echo", "to stdout`n", "to stderr`n", "42"], 42,
               stdout="to stdout\n", stderr="to stderr\n"),
    QrvrunCase("a missing program is reported", [], EXIT_NOT_FOUND, program="Z:\\nonexistent\\missing.exe",
               stderr=None, error=True),
    QrvrunCase("a start that fails in passing is tried again", ["echo", "started`n", "", "0"], 0,
               stdout="started\n", options=["--fail-start", "2"], retries=2),
    QrvrunCase("a start that keeps failing is reported with its error", ["echo", "never`n", "", "0"], EXIT_CANNOT_RUN,
               options=["--fail-start", "9"], retries=START_ATTEMPTS - 1, error=ERROR_INTERNAL_ERROR, stderr=None),
    QrvrunCase("standard input comes from --stdin", ["cat"], 0, stdin="fed\nlines\n", stdout="fed\nlines\n"),
    QrvrunCase("the working folder comes from --cwd", ["where"], 0, cwd=True, stdout="{cwd}\n"),
]

RUNNER_CASES = [
    RunnerCase("matching run passes; names are substituted in args and texts",
               "# a comment line\n[args]\nmsgbox\nok\n{scriptname}\nIn {scriptdir}\n[exit]\n1\n"
               "[dialog]\ntitle: {scriptname}\nIn {scriptdir}\n[stdout]\npressed 1\n", RUNNER_PASS, ["PASS"]),
    RunnerCase("{script} is the Windows full path of the script",
               "[args]\necho\n{script}\n\n0\n[exit]\n0\n[stdout noeol]\n{script}\n", RUNNER_PASS, ["PASS"]),
    RunnerCase("different stdout fails with a diff",
               "[args]\nmsgbox\nok\nT\nX\n[exit]\n1\n[dialog]\nX\n[stdout]\npressed 2\n", RUNNER_FAIL,
               ["stdout differs", "-pressed 2", "+pressed 1"]),
    RunnerCase("unexpected dialog fails and shows its title and text",
               "[args]\nmsgbox\nok\nUnlooked-for\nSome words\n[exit]\n1\n[stdout]\npressed 1\n", RUNNER_FAIL,
               ["unexpected dialog", "Unlooked-for", "Some words"]),
    RunnerCase("different dialog text fails",
               "[args]\nmsgbox\nok\nT\nActual words\n[exit]\n1\n[dialog]\nOther words\n[stdout]\npressed 1\n",
               RUNNER_FAIL, ["dialog 1 text differs", "+Actual words"]),
    RunnerCase("expected dialog that never appears fails",
               "[args]\necho\n\n\n0\n[exit]\n0\n[dialog]\nNever shown\n", RUNNER_FAIL, ["did not appear"]),
    RunnerCase("answer from the .expect file is given",
               "[args]\nmsgbox\nyesno\nQ\nSure?\n[exit]\n6\n[dialog]\nanswer: Yes\nSure?\n[stdout]\npressed 6\n",
               RUNNER_PASS, ["PASS"]),
    RunnerCase("wrong exit code fails", "[args]\necho\n\n\n3\n[exit]\n4\n", RUNNER_FAIL, ["exit code 3, expected 4"]),
    RunnerCase("CRLF output matches LF expectation",
               "[args]\necho\nline one`r`nline two`r`n\n\n0\n[exit]\n0\n[stdout]\nline one\nline two\n",
               RUNNER_PASS, ["PASS"]),
    RunnerCase("noeol section matches output without a final line break",
               "[args]\necho\nno break\nerr\n5\n[exit]\n5\n[stdout noeol]\nno break\n[stderr noeol]\nerr\n",
               RUNNER_PASS, ["PASS"]),
    RunnerCase("missing final line break is pointed out",
               "[args]\necho\nno break\n\n0\n[exit]\n0\n[stdout]\nno break\n", RUNNER_FAIL,
               ["stdout differs", "only the final line breaks differ"]),
    RunnerCase("a hang fails as a timeout", "[args]\nsleep\n[timeout]\n2\n[exit]\n0\n", RUNNER_FAIL, ["timed out"]),
    RunnerCase("missing [exit] is a broken test", "[stdout]\n", RUNNER_BROKEN, ["[exit] is required"]),
    RunnerCase("[skip] skips with its reason", "[skip]\nWine lacks this\n", RUNNER_SKIP, ["Wine lacks this"]),
    RunnerCase("[stdin] is fed to the program", "[args]\ncat\n[stdin]\nfed\n[exit]\n0\n[stdout]\nfed\n",
               RUNNER_PASS, ["PASS"]),
    RunnerCase("the program runs in the script's folder", "[args]\nwhere\n[exit]\n0\n[stdout]\n{scriptdir}\n",
               RUNNER_PASS, ["PASS"]),
]


def windows_path(unix_path):
    """Returns the Wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def probes_running(probe, marker):
    """Lists the command lines of dlgprobe processes carrying MARKER (Wine shows the
    Windows command line as the Unix one)."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as handle:
                args = handle.read().decode("utf-8", "replace").split("\0")
        except OSError:
            continue
        if args and args[0] == probe and marker in args:
            found.append(" ".join(args).strip())
    return found


def read_report(path):
    """Reads qrvrun's JSON-lines report (none when it was never written)."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as handle:
        return [json.loads(line) for line in handle if line.strip()]


def read_text(path):
    """A file's text with CRLF as LF."""
    with open(path, "rb") as handle:
        return handle.read().decode("utf-8", "replace").replace("\r\n", "\n")


def qrvrun_switches(case, build_dir, folder, limit_ms=None):
    """qrvrun's switches and command for a case run in FOLDER (with the case's
    own time limit unless LIMIT_MS is given); returns them with the program and
    the marker naming this run's processes."""
    report = os.path.join(folder, "report.jsonl")
    probe = case.program or windows_path(os.path.join(build_dir, "bin", "dlgprobe.exe"))
    switches = ["--timeout", str(limit_ms or case.limit_ms), "--report", windows_path(report)]
    for answer in case.answers:
        switches += ["--answer", answer]
    switches += case.options
    if case.stdin is not None:
        with open(os.path.join(folder, "stdin"), "w", encoding="utf-8", newline="") as handle:
            handle.write(case.stdin)
        switches += ["--stdin", windows_path(os.path.join(folder, "stdin"))]
    if case.cwd:
        switches += ["--cwd", windows_path(folder)]
    # dlgprobe ignores arguments after its command, so a marker can name this run's processes.
    marker = f"run-{os.getpid()}-{time.monotonic_ns()}"
    return switches + ["--", probe] + case.probe + ([marker] if case.killed else []), probe, marker


def check_run(case, folder, code, stdout, stderr, probe, marker):
    """Compares what a run of CASE gave with what it must give; CODE is None
    when the run's own exit code is not known (a batch line that did not exit).
    Returns the problems."""
    problems = []
    records = read_report(os.path.join(folder, "report.jsonl"))
    if code is not None and code != case.exit:
        problems.append(f"exit code {code}, expected {case.exit}")
    want_stdout = case.stdout.replace("{cwd}", windows_path(folder))
    if stdout != want_stdout:
        problems.append(f"stdout {stdout!r}, expected {want_stdout!r}")
    if case.stderr is not None and stderr != case.stderr:
        problems.append(f"stderr {stderr!r}, expected {case.stderr!r}")
    events = [record.get("event") for record in records]
    errors = [record.get("code") for record in records if record.get("event") == "error"]
    if case.error is None and errors:
        problems.append(f"unexpected error record: {records}")
    elif case.error is not None and (not errors or (case.error is not True and errors != [case.error])):
        problems.append(f"error records {errors}, expected {'one' if case.error is True else [case.error]}")
    if events.count("retry") != case.retries:
        problems.append(f"{events.count('retry')} retry records, expected {case.retries}")
    if ("timeout" in events) != case.timed_out:
        problems.append(f"timeout recorded: {'timeout' in events}, expected {case.timed_out}")
    dialogs = [record for record in records if record.get("event") == "dialog"]
    if len(dialogs) != len(case.dialogs):
        problems.append(f"{len(dialogs)} dialogs recorded, expected {len(case.dialogs)}: {dialogs}")
    for number, (got, want) in enumerate(zip(dialogs, case.dialogs), 1):
        for key, value in want.items():
            if got.get(key) != value:
                problems.append(f"dialog {number}: {key} = {got.get(key)!r}, expected {value!r}")
    if case.killed:
        deadline = time.monotonic() + KILL_GRACE_S
        while probes_running(probe, marker) and time.monotonic() < deadline:
            time.sleep(0.2)
        for left in probes_running(probe, marker):
            problems.append(f"still running after the run: {left}")
    if case.other_process:
        starts = [record.get("pid") for record in records if record.get("event") == "start"]
        if any(record.get("pid") in starts for record in dialogs):
            problems.append("the dialog was recorded as coming from the started process, not its child")
    return problems


def run_qrvrun_case(case, build_dir, wine, temp):
    """Runs one qrvrun case on its own; returns a list of problems (empty = passed)."""
    switches, probe, marker = qrvrun_switches(case, build_dir, temp)
    command = ["timeout", "-k", "5", str(OUTER_LIMIT_S), wine, os.path.join(build_dir, "bin", "qrvrun.exe")]
    command += switches
    # Output goes to files: a Wine service process started by this run may hold a pipe open for ever.
    out_path, err_path = os.path.join(temp, "stdout"), os.path.join(temp, "stderr")
    for attempt in range(2):
        started = time.monotonic()
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            result = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        elapsed = time.monotonic() - started
        # Wine's X11 driver sometimes aborts on an X protocol error while a
        # window closes; that is Wine's race, so such a run is repeated once.
        with open(err_path, "rb") as err:
            if b"X Error of failed request" not in err.read():
                break
    problems = check_run(case, temp, result.returncode, read_text(out_path), read_text(err_path), probe, marker)
    if not case.min_s <= elapsed <= case.max_s:
        problems.append(f"took {elapsed:.1f} s, expected {case.min_s:g} to {case.max_s:g} s")
    return problems


def run_batch(build_dir, wine, lines, temp):
    """Runs qrvrun on a batch file made of LINES (lists of arguments); returns
    its exit code, stdout and stderr."""
    batch = os.path.join(temp, "batch.txt")
    with open(batch, "w", encoding="utf-8", newline="\n") as handle:
        handle.write("".join(subprocess.list2cmdline(line) + "\n" for line in lines))
    out_path, err_path = os.path.join(temp, "batch.out"), os.path.join(temp, "batch.err")
    command = ["timeout", "-k", "5", str(OUTER_LIMIT_S), wine, os.path.join(build_dir, "bin", "qrvrun.exe"),
               "--batch", windows_path(batch)]
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        result = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
    return result.returncode, read_text(out_path), read_text(err_path)


def run_qrvrun_batch_case(whole, build_dir, wine, temp):
    """Runs the qrvrun cases WHOLE picks as the lines of one batch: each must
    come out as it does alone, with its own report and standard files. One
    more line keeps qrvrun's own output, which the others must not touch."""
    cases = [case for case in QRVRUN_CASES if case.batch and whole.picks(case)]
    lines, runs = [], []
    for number, case in enumerate(cases, 1):
        folder = os.path.join(temp, f"line{number}")
        os.makedirs(folder)
        switches, probe, marker = qrvrun_switches(case, build_dir, folder, case.limit_in_batch_ms)
        files = ["--stdout", windows_path(os.path.join(folder, "stdout")),
                 "--stderr", windows_path(os.path.join(folder, "stderr"))]
        lines.append(files + switches)
        runs.append((number, case, folder, probe, marker))
    probe = windows_path(os.path.join(build_dir, "bin", "dlgprobe.exe"))
    lines.append(["--", probe, "echo", "shared out`n", "shared err`n", "0"])
    code, stdout, stderr = run_batch(build_dir, wine, lines, temp)
    problems = []
    if code != 0:
        problems.append(f"the batch exited {code}, expected 0")
    if stdout != "shared out\n":
        problems.append(f"the batch's own stdout is {stdout!r}, expected only the last line's 'shared out'")
    # The lines that fail to start have qrvrun say so on its own stderr.
    if "shared err\n" not in stderr:
        problems.append(f"the batch's own stderr lacks the last line's 'shared err': {stderr!r}")
    for number, case, folder, probe, marker in runs:
        exits = [record.get("code") for record in read_report(os.path.join(folder, "report.jsonl"))
                 if record.get("event") == "exit"]
        out = read_text(os.path.join(folder, "stdout")) if os.path.exists(os.path.join(folder, "stdout")) else ""
        err = read_text(os.path.join(folder, "stderr")) if os.path.exists(os.path.join(folder, "stderr")) else ""
        for problem in check_run(case, folder, exits[-1] if exits else None, out, err, probe, marker):
            problems.append(f"line {number} ({case.name}): {problem}")
    return problems


def run_batch_refusal_case(_case, build_dir, wine, temp):
    """A batch with a line qrvrun does not understand runs nothing and names the line."""
    report = os.path.join(temp, "first.jsonl")
    probe = windows_path(os.path.join(build_dir, "bin", "dlgprobe.exe"))
    lines = [["--report", windows_path(report), "--", probe, "echo", "ran`n", "", "0"],
             ["--timeout", "soon", "--", probe, "echo", "", "", "0"]]
    code, stdout, stderr = run_batch(build_dir, wine, lines, temp)
    problems = []
    if code != EXIT_USAGE:
        problems.append(f"the batch exited {code}, expected {EXIT_USAGE}")
    if os.path.exists(report) or stdout:
        problems.append(f"the first line ran (stdout {stdout!r})")
    for text in ("bad --timeout value: soon", "line 2"):
        if text not in stderr:
            problems.append(f"stderr lacks {text!r}: {stderr!r}")
    return problems


def run_runner_case(case, build_dir, wine, temp):
    """Runs one run_script_test.py case; returns a list of problems (empty = passed)."""
    script = os.path.join(temp, "probe.qrv")
    with open(script, "w", encoding="utf-8") as handle:
        handle.write("; dlgprobe stands in for the interpreter; this file is only a path\n")
    with open(os.path.join(temp, "probe.expect"), "w", encoding="utf-8", newline="") as handle:
        handle.write(case.expect)
    probe = os.path.join(build_dir, "bin", "dlgprobe.exe")
    command = [sys.executable, RUNNER, "--build-dir", build_dir, "--program", probe, "--wine", wine, script]
    result = subprocess.run(command, capture_output=True, stdin=subprocess.DEVNULL, timeout=OUTER_LIMIT_S)
    output = result.stdout.decode("utf-8", "replace") + result.stderr.decode("utf-8", "replace")
    problems = []
    if result.returncode != case.verdict:
        problems.append(f"runner exited {result.returncode}, expected {case.verdict}")
    for text in case.says:
        if text not in output:
            problems.append(f"runner output lacks {text!r}")
    if problems:
        problems.append("runner output:\n" + output)
    return problems


def run_runner_batch_case(_case, build_dir, wine, temp):
    """Runs the runner cases that pass or fail as one batch (run_script_test's
    run_many): each must get the verdict, and say the things, it does alone."""
    cases = [case for case in RUNNER_CASES if case.verdict in (RUNNER_PASS, RUNNER_FAIL)]
    args = types.SimpleNamespace(build_dir=build_dir, wine=wine, verbose=False,
                                 program=os.path.join(build_dir, "bin", "dlgprobe.exe"))
    tests = []
    for number, case in enumerate(cases, 1):
        folder = os.path.join(temp, f"case{number}")
        os.makedirs(folder)
        script = os.path.join(folder, "probe.qrv")
        with open(script, "w", encoding="utf-8") as handle:
            handle.write("; dlgprobe stands in for the interpreter; this file is only a path\n")
        names = {"script": windows_path(script), "scriptdir": windows_path(folder), "scriptname": "probe.qrv"}
        with open(os.path.join(folder, "probe.expect"), "w", encoding="utf-8", newline="") as handle:
            handle.write(case.expect)
        tests.append(runner.BatchTest(number, script, runner.parse_expect(os.path.join(folder, "probe.expect"),
                                                                          names)))
    work = os.path.join(temp, "runs")
    os.makedirs(work)
    problems = []
    for case, failures in zip(cases, runner.run_many(args, tests, work)):
        said = "\n".join(failures)
        if bool(failures) != (case.verdict == RUNNER_FAIL):
            problems.append(f"{case.name}: {'failed' if failures else 'passed'} in the batch:\n{said}")
        elif failures:
            problems += [f"{case.name}: the failure lacks {text!r}:\n{said}" for text in case.says if text not in said]
    return problems


def run_several_case(_case, build_dir, wine, temp):
    """run_script_test.py given several scripts names each one's verdict, and its
    exit status says the worst of them."""
    expects = {"passes": "[args]\necho\nout`n\n\n0\n[exit]\n0\n[stdout]\nout\n",
               "fails": "[args]\necho\nother`n\n\n0\n[exit]\n0\n[stdout]\nout\n",
               "skipped": "[skip]\nWine lacks this\n",
               "broken": "[stdout]\n"}
    scripts = {}
    for name, expect in expects.items():
        scripts[name] = os.path.join(temp, name + ".qrv")
        with open(scripts[name], "w", encoding="utf-8") as handle:
            handle.write("; dlgprobe stands in for the interpreter; this file is only a path\n")
        with open(os.path.join(temp, name + ".expect"), "w", encoding="utf-8", newline="") as handle:
            handle.write(expect)
    base = [sys.executable, RUNNER, "--build-dir", build_dir, "--wine", wine,
            "--program", os.path.join(build_dir, "bin", "dlgprobe.exe")]
    problems = []
    for names, verdict, says in (
            (["passes", "fails", "skipped"], RUNNER_FAIL,
             [f"PASS {scripts['passes']}", f"FAIL {scripts['fails']}", "stdout differs", "+other",
              "to run it alone:", f"SKIP {scripts['skipped']}: Wine lacks this", "1 of 3 tests passed, 1 skipped"]),
            (["passes", "broken"], RUNNER_BROKEN, [f"PASS {scripts['passes']}", f"BROKEN TEST {scripts['broken']}"]),
            (["skipped", "skipped"], RUNNER_SKIP, ["0 of 2 tests passed, 2 skipped"])):
        result = subprocess.run(base + [scripts[name] for name in names], capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=OUTER_LIMIT_S)
        output = result.stdout.decode("utf-8", "replace") + result.stderr.decode("utf-8", "replace")
        found = [] if result.returncode == verdict else [f"exited {result.returncode}, expected {verdict}"]
        found += [f"output lacks {text!r}" for text in says if text not in output]
        if found:
            problems += [f"with {', '.join(names)}: {problem}" for problem in found]
            problems.append("output:\n" + output)
    return problems


def run_broken_batch_case(_case, build_dir, _wine, temp):
    """When qrvrun ends before a test of its batch is over, or stops answering,
    the runner fails that test saying so and runs the rest in a new batch. A
    stand-in for wine plays the broken qrvrun: one that exits at once, and one
    that never ends."""
    problems = []
    for behaviour, body, says in (
            ("exits", "echo gone wrong >&2; exit 3",
             ["the batch was over (status 3) while this test ran", "gone wrong",
              "qrvrun reported no exit (its exit status was 3)"]),
            ("hangs", "exec sleep 60",
             ["the batch was killed while this test ran",
              "qrvrun did not finish in time and was killed from outside"])):
        folder = os.path.join(temp, behaviour)
        os.makedirs(folder)
        fake_wine = os.path.join(folder, "fake-wine")
        with open(fake_wine, "w", encoding="utf-8") as handle:
            handle.write("#!/bin/sh\n" + body + "\n")
        os.chmod(fake_wine, 0o755)
        args = types.SimpleNamespace(build_dir=build_dir, wine=fake_wine, verbose=False, batch_grace_s=0.5,
                                     program=os.path.join(build_dir, "bin", "dlgprobe.exe"))
        tests = []
        for number in (1, 2):
            script = os.path.join(folder, f"probe{number}.qrv")
            with open(script, "w", encoding="utf-8") as handle:
                handle.write("; only a path\n")
            with open(os.path.join(folder, f"probe{number}.expect"), "w", encoding="utf-8") as handle:
                handle.write("[args]\necho\n\n\n0\n[timeout]\n1\n[exit]\n0\n")
            tests.append(runner.BatchTest(number, script, runner.parse_expect(
                os.path.join(folder, f"probe{number}.expect"), runner.script_names(script))))
        work = os.path.join(folder, "runs")
        os.makedirs(work)
        started = time.monotonic()
        verdicts = runner.run_many(args, tests, work)
        elapsed = time.monotonic() - started
        for number, failures in enumerate(verdicts, 1):
            said = "\n".join(failures)
            problems += [f"a batch that {behaviour}, test {number}: the failure lacks {text!r}:\n{said}"
                         for text in says if text not in said]
        # Each test of the hanging batch is given its limit (1 s) and the grace, then killed.
        if elapsed > 2 * (1 + 0.5) + SLACK_S:
            problems.append(f"a batch that {behaviour}: the runner took {elapsed:.1f} s")
    return problems


# A table for run_table_test.py with dlgprobe standing in for the interpreter
# (the script lines are only a file; dlgprobe does what [args] says).
PROBE_TABLE = """Lines before the first case are comments.
=== passes
; unused
--- expect
[args]
echo
out`n

0
[exit]
0
[stdout]
out
=== fails on its output
; unused
--- expect
[args]
echo
other`n

0
[exit]
0
[stdout]
out
=== is skipped
; unused
--- expect
[skip]
Wine lacks this
=== is broken
; unused
--- expect
[stdout]
"""


def run_table_case(_case, build_dir, wine, temp):
    """run_table_test.py reports each case by name: passed, failed with the
    difference and a line that reruns it, skipped, or broken; --case picks cases."""
    table = os.path.join(temp, "probe.table")
    with open(table, "w", encoding="utf-8") as handle:
        handle.write(PROBE_TABLE)
    base = [sys.executable, TABLE_RUNNER, "--build-dir", build_dir, "--wine", wine,
            "--program", os.path.join(build_dir, "bin", "dlgprobe.exe")]
    problems = []
    for extra, verdict, says in (
            ([], 1, ["[ok] passes", "[FAILED] fails on its output", "stdout differs", "+other",
                     "--case 'fails on its output'", "[skipped] is skipped: Wine lacks this",
                     "[FAILED] is broken", "[exit] is required", "1 of 4 cases passed, 1 skipped"]),
            (["--case", "passes"], 0, ["[ok] passes", "1 of 1 cases passed"])):
        result = subprocess.run(base + extra + [table], capture_output=True, stdin=subprocess.DEVNULL,
                                timeout=OUTER_LIMIT_S)
        output = result.stdout.decode("utf-8", "replace") + result.stderr.decode("utf-8", "replace")
        found = [] if result.returncode == verdict else [f"exited {result.returncode}, expected {verdict}"]
        found += [f"output lacks {text!r}" for text in says if text not in output]
        if found:
            problems += [f"with {extra or 'every case'}: {problem}" for problem in found]
            problems.append("output:\n" + output)
    return problems


@dataclass
class WholeCase:
    """A case that runs rows of the tables above together, or a whole runner."""
    name: str
    picks: object = None  # which rows it takes, for those that take some


WHOLE_CASES = [
    # In two batches that run side by side, as the script-test runner runs them.
    (WholeCase("qrvrun cases with dialogs give the same results as lines of one batch",
               lambda case: bool(case.dialogs)), run_qrvrun_batch_case),
    (WholeCase("qrvrun cases without dialogs give the same results as lines of one batch",
               lambda case: not case.dialogs), run_qrvrun_batch_case),
    (WholeCase("a batch line qrvrun cannot read stops the batch before anything runs"), run_batch_refusal_case),
    (WholeCase("runner cases give the same verdicts in one batch"), run_runner_batch_case),
    (WholeCase("the table runner names each case's verdict"), run_table_case),
    (WholeCase("the runner given several scripts names each one's verdict"), run_several_case),
    (WholeCase("a batch that ends early or hangs fails its test, and the rest still run"), run_broken_batch_case),
]


def run_one(case, runner_function, build_dir, wine):
    """Runs one case in a folder of its own; returns its problems."""
    with tempfile.TemporaryDirectory(prefix="qrvself-") as temp:
        try:
            return runner_function(case, build_dir, wine, temp)
        except Exception as error:  # a harness bug must fail its case, not hide the others
            return [f"the case raised {type(error).__name__}: {error}"]


def main():
    """Runs every case and prints one line per case; exits 1 if any failed."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--wine", default=os.environ.get("QRV_WINE", "wine"))
    parser.add_argument("-k", dest="only", default="", help="run only cases whose name contains this")
    parser.add_argument("-j", dest="jobs", type=int, default=DEFAULT_JOBS, help="cases running at once")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    for exe in ("qrvrun.exe", "dlgprobe.exe"):
        if not os.path.exists(os.path.join(build_dir, "bin", exe)):
            print(f"missing {exe} in {build_dir}/bin: build the qrvrun and dlgprobe targets")
            return 1
    cases = [(case, run_qrvrun_case) for case in QRVRUN_CASES] + [(case, run_runner_case) for case in RUNNER_CASES]
    # The long cases first, so they do not end up running alone at the end.
    cases = WHOLE_CASES + cases
    cases = [(case, function) for case, function in cases if args.only in case.name]
    failed = False
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = [pool.submit(run_one, case, function, build_dir, args.wine) for case, function in cases]
        for (case, _), future in zip(cases, futures):
            problems = future.result()
            print(("FAIL " if problems else "ok   ") + case.name, flush=True)
            for problem in problems:
                print("     " + problem.replace("\n", "\n     "))
            failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
