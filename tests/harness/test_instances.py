#!/usr/bin/env python3
"""Tests that need two running copies of a script, or a message from outside:
closing the main window, the single-instance rule in its modes, and the
processor time an idle resident script uses.

Each case writes a small persistent script whose exit routine prints
A_ExitReason, starts copies of it under Wine, and drives them with
qrvpost.exe (find the main window, post it a message) and qrvrun.exe (answer
the single-instance prompt). Every process has a time limit.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import threading
import time
import traceback

WM_CLOSE = 0x10
WM_COMMAND = 0x111
ID_FILE_PAUSE = 65403
MAIN_CLASS = "Quorivance"
LIMIT = 20


class Copy:
    """One running copy of a script, its output going to files."""

    def __init__(self, command, folder, name):
        self.out_path = os.path.join(folder, name + ".out")
        self.out = open(self.out_path, "wb")
        self.process = subprocess.Popen(["timeout", "-k", "5", str(LIMIT + 10)] + command, cwd=folder,
                                        stdout=self.out, stderr=subprocess.DEVNULL)

    def wait(self, seconds=LIMIT):
        try:
            code = self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = None
        self.out.close()
        return code

    def output(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")


class Harness:
    def __init__(self, build, prefix="qrvinst"):
        self.bin = os.path.join(os.path.abspath(build), "bin")
        self.folder = tempfile.mkdtemp(prefix=prefix)
        self.failures = []

    def win(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def script(self, name, mode_line):
        path = os.path.join(self.folder, name + ".qrv")
        with open(path, "w", encoding="utf-8") as f:
            f.write(mode_line + "\n#Persistent\nOnExit, bye\nFileAppend, started`n, *\nreturn\n\n"
                    "bye:\nFileAppend, reason %A_ExitReason%`n, *\nExitApp\n")
        return path

    def title(self, script):
        return self.win(script)

    def start(self, script, name, answer=None):
        qrv = self.win(os.path.join(self.bin, "qrv.exe"))
        if answer:
            command = ["wine", os.path.join(self.bin, "qrvrun.exe"), "--timeout", str(LIMIT * 1000),
                       "--answer", answer, "--", qrv, self.win(script)]
        else:
            command = ["wine", os.path.join(self.bin, "qrv.exe"), self.win(script)]
        return Copy(command, self.folder, name)

    def post(self, script, message, wparam=0):
        return subprocess.run(["timeout", "30", "wine", os.path.join(self.bin, "qrvpost.exe"), "post", MAIN_CLASS,
                               self.title(script), str(message), str(wparam)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def window_exists(self, script):
        return subprocess.run(["timeout", "30", "wine", os.path.join(self.bin, "qrvpost.exe"), "find", MAIN_CLASS,
                               self.title(script)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def wait_for_window(self, script, seconds=15):
        end = time.time() + seconds
        while time.time() < end:
            if self.window_exists(script):
                return True
            time.sleep(0.2)
        return False

    def check(self, case, condition, detail):
        print(f"[{'ok' if condition else 'FAILED'}] {case}: {detail}")
        if not condition:
            self.failures.append(case)
        return condition


def cpu_seconds(pid):
    """User plus system time of a Linux process and its children, in seconds."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        ticks = sum(int(x) for x in fields[11:15])
        return ticks / os.sysconf("SC_CLK_TCK")
    except OSError:
        return None


def qrv_pid(script_name, tries=50):
    """The process running qrv.exe on the named script (its command line names
    it), looked for `tries` times a tenth of a second apart."""
    marker = script_name.encode()
    for attempt in range(tries):
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    cmd = f.read()
            except OSError:
                continue
            if b"qrv.exe" in cmd and marker in cmd and b"qrvrun" not in cmd and b"timeout" not in cmd:
                return int(entry)
        if attempt + 1 < tries:
            time.sleep(0.1)
    return None


def case_close_and_idle(h):
    script = h.script("close", "")
    copy = h.start(script, "close")
    if not h.check("close", h.wait_for_window(script), "main window appeared"):
        copy.wait(1)
        return
    pid = qrv_pid("close.qrv")
    before = cpu_seconds(pid) if pid else None
    time.sleep(5)
    after = cpu_seconds(pid) if pid else None
    if before is not None and after is not None:
        used = after - before
        h.check("idle", used < 0.25, f"an idle resident script used {used:.2f} s of processor time in 5 s")
    else:
        h.check("idle", False, "could not find the interpreter's process")
    h.post(script, WM_CLOSE)
    code = copy.wait()
    h.check("close", code == 0 and copy.output() == "started\nreason Close\n",
            f"WM_CLOSE ends it: exit {code}, output {copy.output()!r}")


def case_force(h):
    script = h.script("force", "#SingleInstance Force")
    first = h.start(script, "force1")
    h.wait_for_window(script)
    second = h.start(script, "force2")
    code = first.wait()
    h.check("force", code == 0 and first.output() == "started\nreason Single\n",
            f"the first copy exits with reason Single: exit {code}, output {first.output()!r}")
    time.sleep(1)
    h.check("force", second.process.poll() is None, "the second copy keeps running")
    h.wait_for_window(script)
    h.post(script, WM_CLOSE)
    code = second.wait()
    h.check("force", code == 0 and second.output() == "started\nreason Close\n",
            f"the second copy then closes normally: {second.output()!r}")


def case_ignore(h):
    script = h.script("ignore", "#SingleInstance Ignore")
    first = h.start(script, "ignore1")
    h.wait_for_window(script)
    second = h.start(script, "ignore2")
    code = second.wait()
    h.check("ignore", code == 0 and second.output() == "", f"the second copy exits at once: exit {code}")
    h.check("ignore", first.process.poll() is None, "the first copy keeps running")
    h.post(script, WM_CLOSE)
    first.wait()


def case_prompt(h):
    script = h.script("prompt", "#SingleInstance")
    first = h.start(script, "prompt1")
    h.wait_for_window(script)
    refused = h.start(script, "prompt2", answer="No")
    code = refused.wait()
    h.check("prompt", code == 0 and refused.output() == "", f"answering No ends the new copy: exit {code}")
    h.check("prompt", first.process.poll() is None, "the first copy keeps running after No")
    accepted = h.start(script, "prompt3", answer="Yes")
    code = first.wait()
    h.check("prompt", code == 0 and first.output() == "started\nreason Single\n",
            f"answering Yes closes the first copy with reason Single: {first.output()!r}")
    h.wait_for_window(script)
    h.post(script, WM_CLOSE)
    code = accepted.wait()
    h.check("prompt", code == 0 and accepted.output() == "started\nreason Close\n",
            f"the new copy runs on until closed: exit {code}, output {accepted.output()!r}")


def case_pause(h):
    script = os.path.join(h.folder, "pause.qrv")
    with open(script, "w", encoding="utf-8") as f:
        f.write("#Persistent\nSetTimer, tick, 20\nreturn\n\ntick:\nFileAppend, t, *\nreturn\n")
    copy = h.start(script, "pause")
    h.wait_for_window(script)
    time.sleep(0.6)
    h.check("pause", os.path.getsize(copy.out_path) > 0, "the timer ticks before the pause")
    h.post(script, WM_COMMAND, ID_FILE_PAUSE)
    time.sleep(0.3)
    paused_at = os.path.getsize(copy.out_path)
    time.sleep(0.8)
    h.check("pause", os.path.getsize(copy.out_path) == paused_at, "no tick while paused")
    h.post(script, WM_COMMAND, ID_FILE_PAUSE)
    time.sleep(0.8)
    h.check("pause", os.path.getsize(copy.out_path) > paused_at, "ticks again after un-pausing")
    h.post(script, WM_CLOSE)
    h.check("pause", copy.wait() == 0, "closes normally")


def case_onmessage(h):
    """A message from another program starts the registered function, which
    receives wParam, lParam, the message number and the window."""
    script = os.path.join(h.folder, "onmessage.qrv")
    with open(script, "w", encoding="utf-8") as f:
        f.write("OnMessage(0x5555, \"Got\")\nFileAppend, started`n, *\nreturn\n\n"
                "Got(wParam, lParam, msg, hwnd) {\n"
                "  FileAppend % \"got \" msg \" \" wParam \" \" lParam \" \" (hwnd ? \"window\" : \"none\") \"`n\", *\n"
                "  ExitApp\n}\n")
    copy = h.start(script, "onmessage")
    if not h.check("onmessage", h.wait_for_window(script), "a script with OnMessage stays resident"):
        copy.wait(1)
        return
    h.post(script, 0x5555, 7)
    code = copy.wait()
    h.check("onmessage", code == 0 and copy.output() == "started\ngot 21845 7 0 window\n",
            f"the monitor ran: exit {code}, output {copy.output()!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    args = parser.parse_args()
    h = Harness(args.build_dir)
    # Every case has scripts of its own and finds only its own windows, so the
    # cases run in three lines side by side; the idle case mostly waits out
    # its measuring time.
    lines = [[case_close_and_idle], [case_pause, case_force], [case_ignore, case_prompt, case_onmessage]]

    def run_cases(cases):
        for case in cases:
            try:
                case(h)
            except Exception:  # in a thread it would otherwise only be printed
                h.check(case.__name__[5:], False, "raised:\n" + traceback.format_exc())

    threads = [threading.Thread(target=run_cases, args=(cases,)) for cases in lines]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if h.failures:
        print("failed:", ", ".join(sorted(set(h.failures))))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
