#!/usr/bin/env python3
"""Self-test of the script-test harness: runs qrvrun.exe, and then
run_script_test.py, against dlgprobe.exe (a GUI program that shows message
boxes, sleeps, echoes or starts a copy of itself) under Wine.

    test_harness.py --build-dir BUILD [-k SUBSTRING]

Each case is one row of a table. The caller provides WINEPREFIX, DISPLAY and
a wineserver, as for every test run under Wine.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

HARNESS_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RUNNER = os.path.join(HARNESS_DIR, "run_script_test.py")

# MessageBox results, from winuser.h.
IDOK, IDCANCEL, IDRETRY, IDYES, IDNO = 1, 2, 4, 6, 7
# qrvrun's exit code on timeout and when the program does not exist.
EXIT_TIMEOUT, EXIT_NOT_FOUND = 124, 127
# run_script_test.py's verdicts.
RUNNER_PASS, RUNNER_FAIL, RUNNER_BROKEN, RUNNER_SKIP = 0, 1, 2, 77

LIMIT_MS = 3000
# Wine start-up and shutdown on top of a time limit.
SLACK_S = 8.0
OUTER_LIMIT_S = 60
# How long killed processes may take to disappear from /proc.
KILL_GRACE_S = 3.0


@dataclass
class QrvrunCase:
    """One run of qrvrun.exe against dlgprobe and what must come of it."""
    name: str
    probe: list
    exit: int
    answers: list = field(default_factory=list)
    dialogs: list = field(default_factory=list)  # per dialog: the fields its record must have
    stdout: str = ""
    stderr: str = ""
    limit_ms: int = 20000
    timed_out: bool = False
    min_s: float = 0.0
    max_s: float = 30.0
    program: str = None  # Windows path replacing dlgprobe
    other_process: bool = False  # the dialog must come from a process other than the one started
    killed: bool = False  # no dlgprobe of this run may be left running afterwards
    options: list = field(default_factory=list)  # more qrvrun switches


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
               stdout=f"pressed {IDOK}\n"),
    QrvrunCase("answer Yes", ["msgbox", "yesno", "Question", "Proceed?"], IDYES, answers=["Yes"],
               dialogs=[dialog("Question", "Proceed?", ["Yes", "No"], "Yes", True)], stdout=f"pressed {IDYES}\n"),
    QrvrunCase("answer No", ["msgbox", "yesno", "Question", "Proceed?"], IDNO, answers=["No"],
               dialogs=[dialog("Question", "Proceed?", ["Yes", "No"], "No", True)], stdout=f"pressed {IDNO}\n"),
    QrvrunCase("answer ignores case and &", ["msgbox", "yesnocancel", "Q", "Save?"], IDYES, answers=["&yES"],
               dialogs=[dialog("Q", "Save?", ["Yes", "No", "Cancel"], "Yes", True)], stdout=f"pressed {IDYES}\n"),
    QrvrunCase("unanswered Yes/No dialog is unexpected and closed with No",
               ["msgbox", "yesno", "Surprise", "Unexpected question"], IDNO,
               dialogs=[dialog("Surprise", "Unexpected question", ["Yes", "No"], "No", False)],
               stdout=f"pressed {IDNO}\n"),
    QrvrunCase("unanswered OK/Cancel dialog is closed with Cancel", ["msgbox", "okcancel", "Surprise", "Go on?"],
               IDCANCEL, dialogs=[dialog("Surprise", "Go on?", ["OK", "Cancel"], "Cancel", False)],
               stdout=f"pressed {IDCANCEL}\n"),
    QrvrunCase("answer naming a missing button leaves the dialog unanswered",
               ["msgbox", "ok", "Note", "Only OK here"], IDOK, answers=["Retry"],
               dialogs=[dialog("Note", "Only OK here", ["OK"], "OK", False)], stdout=f"pressed {IDOK}\n"),
    QrvrunCase("answers are used in order, one per dialog",
               ["msgbox", "yesno", "First", "one", "msgbox", "yesno", "Second", "two"], IDYES, answers=["No", "Yes"],
               dialogs=[dialog("First", "one", ["Yes", "No"], "No", True),
                        dialog("Second", "two", ["Yes", "No"], "Yes", True)],
               stdout=f"pressed {IDNO}\npressed {IDYES}\n"),
    QrvrunCase("answer * closes an expected dialog the default way",
               ["msgbox", "yesno", "First", "one", "msgbox", "yesno", "Second", "two"], IDYES, answers=["*", "Yes"],
               dialogs=[dialog("First", "one", ["Yes", "No"], "No", True),
                        dialog("Second", "two", ["Yes", "No"], "Yes", True)],
               stdout=f"pressed {IDNO}\npressed {IDYES}\n"),
    QrvrunCase("dialogs beyond the answers are unexpected",
               ["msgbox", "retrycancel", "First", "one", "msgbox", "yesno", "Second", "two"], IDNO, answers=["Retry"],
               dialogs=[dialog("First", "one", ["Retry", "Cancel"], "Retry", True),
                        dialog("Second", "two", ["Yes", "No"], "No", False)],
               stdout=f"pressed {IDRETRY}\npressed {IDNO}\n"),
    QrvrunCase("a program that never ends is killed at the time limit", ["sleep"], EXIT_TIMEOUT,
               limit_ms=LIMIT_MS, timed_out=True, min_s=LIMIT_MS / 1000, max_s=LIMIT_MS / 1000 + SLACK_S),
    QrvrunCase("a grandchild that never ends is killed at the time limit", ["child", "sleep"], EXIT_TIMEOUT,
               limit_ms=LIMIT_MS, timed_out=True, min_s=LIMIT_MS / 1000, max_s=LIMIT_MS / 1000 + SLACK_S,
               killed=True),
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
               killed=True, options=["--no-job"]),
    QrvrunCase("output and exit code pass through", ["echo", "to stdout`n", "to stderr`n", "42"], 42,
               stdout="to stdout\n", stderr="to stderr\n"),
    QrvrunCase("a missing program is reported", [], EXIT_NOT_FOUND, program="Z:\\nonexistent\\missing.exe"),
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
    """Reads qrvrun's JSON-lines report."""
    with open(path, encoding="utf-8") as handle:
        return [json.loads(line) for line in handle if line.strip()]


def run_qrvrun_case(case, build_dir, wine, temp):
    """Runs one qrvrun case; returns a list of problems (empty = passed)."""
    report = os.path.join(temp, "report.jsonl")
    probe = case.program or windows_path(os.path.join(build_dir, "bin", "dlgprobe.exe"))
    command = ["timeout", "-k", "5", str(OUTER_LIMIT_S), wine, os.path.join(build_dir, "bin", "qrvrun.exe"),
               "--timeout", str(case.limit_ms), "--report", windows_path(report)]
    for answer in case.answers:
        command += ["--answer", answer]
    command += case.options
    # dlgprobe ignores arguments after its command, so a marker can name this run's processes.
    marker = f"run-{os.getpid()}-{time.monotonic_ns()}"
    command += ["--", probe] + case.probe + ([marker] if case.killed else [])
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
    problems = []
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        stdout = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
        stderr = err.read().decode("utf-8", "replace").replace("\r\n", "\n")
    if result.returncode != case.exit:
        problems.append(f"exit code {result.returncode}, expected {case.exit}")
    if stdout != case.stdout:
        problems.append(f"stdout {stdout!r}, expected {case.stdout!r}")
    if case.program is None and stderr != case.stderr:
        problems.append(f"stderr {stderr!r}, expected {case.stderr!r}")
    if not case.min_s <= elapsed <= case.max_s:
        problems.append(f"took {elapsed:.1f} s, expected {case.min_s:g} to {case.max_s:g} s")
    records = read_report(report) if os.path.exists(report) else []
    events = [record.get("event") for record in records]
    if case.program is not None and "error" not in events:
        problems.append(f"no error record for the missing program; report: {records}")
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


def main():
    """Runs every case and prints one line per case; exits 1 if any failed."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--wine", default=os.environ.get("QRV_WINE", "wine"))
    parser.add_argument("-k", dest="only", default="", help="run only cases whose name contains this")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    for exe in ("qrvrun.exe", "dlgprobe.exe"):
        if not os.path.exists(os.path.join(build_dir, "bin", exe)):
            print(f"missing {exe} in {build_dir}/bin: build the qrvrun and dlgprobe targets")
            return 1
    cases = [(case, run_qrvrun_case) for case in QRVRUN_CASES] + [(case, run_runner_case) for case in RUNNER_CASES]
    failed = False
    for case, runner in cases:
        if args.only not in case.name:
            continue
        with tempfile.TemporaryDirectory(prefix="qrvself-") as temp:
            problems = runner(case, build_dir, args.wine, temp)
        print(("FAIL " if problems else "ok   ") + case.name)
        for problem in problems:
            print("     " + problem.replace("\n", "\n     "))
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
