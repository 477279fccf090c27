#!/usr/bin/env python3
"""Tests of the main window that need a look from outside: the views the
commands and menu items put into its edit control, hiding and showing it,
the tray icon's menu and clicks, Exit from the menus, Reload, and the
time-out a standard dialog gets from the dialog message.

Each case writes a small script, starts it under Wine, reads or drives its
main window with qrvwin.exe, and checks what the script printed (its exit
routine prints A_ExitReason). Every process has a time limit; a copy started
by Reload is found by its command line and killed at the end if it is still
running.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import threading
import time
import traceback

from test_instances import Copy, Harness as ProcessHarness, qrv_pid

MAIN_CLASS = "Quorivance"
POPUP_MENU_CLASS = "#32768"
EDIT_ID = 1

WM_CLOSE = 0x10
WM_COMMNOTIFY = 0x44
WM_KEYDOWN = 0x100
WM_COMMAND = 0x111
WM_SYSCOMMAND = 0x112
WM_LBUTTONDBLCLK = 0x203
WM_RBUTTONUP = 0x205
SC_CLOSE = 0xF060
SC_MINIMIZE = 0xF020
VK_ESCAPE = 0x1B
VK_X = 0x58

MSG_DIALOG_SHOWN = 1027
MSG_TRAY_NOTIFY = 1028
ID_TRAY_OPEN = 65300
ID_TRAY_RELOAD = 65303
ID_TRAY_EXIT = 65307
ID_FILE_EXIT = 65405
ID_VIEW_LINES = 65406
ID_VIEW_VARIABLES = 65407
ID_VIEW_HOTKEYS = 65408
ID_VIEW_KEYHISTORY = 65409
ID_VIEW_REFRESH = 65410

LINES_HEADER = ("Script lines most recently executed (oldest first).  Press [F5] to refresh.  The seconds elapsed "
                "between a line and the one after it is in parentheses to the right (if not 0).  The bottommost "
                "line's elapsed time is the number of seconds since it executed.\r\n\r\n")
REFRESH_HINT = "\r\nPress [F5] to refresh."
HOTKEYS_TEXT = "Type\tOff?\tLevel\tRunning\tName\r\n" + "-" * 67 + "\r\n"
VARIABLES_HEADER = "Global Variables (alphabetical)\r\n" + "-" * 50 + "\r\n"
KEY_HISTORY_RE = re.compile(
    r"Window: [^\r\n]*\r\n"
    r"Keybd hook: no\r\n"
    r"Mouse hook: no\r\n"
    r"Enabled Timers: 1 of 1 \(tick\)\r\n"
    r"Interrupted threads: 0\r\n"
    r"Paused threads: 0 of (\d+) \(\1 layers\)\r\n"
    r"Modifiers \(GetKeyState\(\) now\) = \r\n"
    r"\r\nPress \[F5\] to refresh\.\Z")

# The body every view script starts with: it stays resident, has one
# timer, one variable, and prints its exit reason.
SCRIPT_HEAD = ('#Persistent\nOnExit, bye\nx := "hello"\nSetTimer, tick, 600000\n')
SCRIPT_TAIL = ("FileAppend, ready`n, *\nreturn\n\ntick:\nreturn\n\n"
               "bye:\nFileAppend, reason %A_ExitReason%`n, *\nExitApp\n")


class Harness(ProcessHarness):
    """The two-process harness, with the main window read and driven through
    qrvwin.exe."""

    def __init__(self, build):
        super().__init__(build, "qrvmain")
        self.scripts = []

    def write(self, name, text):
        path = os.path.join(self.folder, name + ".qrv")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        self.scripts.append(name + ".qrv")
        return path

    def start(self, script, name, params=()):
        command = ["wine", os.path.join(self.bin, "qrv.exe"), self.win(script)] + list(params)
        return Copy(command, self.folder, name)

    def tool(self, *args):
        """Runs qrvwin.exe; returns its exit code and standard output."""
        done = subprocess.run(["timeout", "30", "wine", os.path.join(self.bin, "qrvwin.exe")] + [str(a) for a in args],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def post(self, script, message, wparam=0, lparam=0, child=None):
        args = ["post", MAIN_CLASS, self.win(script), message, wparam, lparam]
        if child is not None:
            args.append(child)
        return self.tool(*args)[0] == 0

    def text(self, script):
        code, out = self.tool("text", MAIN_CLASS, self.win(script), EDIT_ID)
        return out if code == 0 else None

    def visible(self, script):
        return self.tool("visible", MAIN_CLASS, self.win(script))[0] == 0

    def exists(self, script):
        return self.tool("visible", MAIN_CLASS, self.win(script))[0] in (0, 1)

    def wait_until(self, condition, seconds=15, step=0.2):
        end = time.time() + seconds
        while time.time() < end:
            value = condition()
            if value:
                return value
            time.sleep(step)
        return condition()

    def wait_for_output(self, copy, text, seconds=15):
        return self.wait_until(lambda: text in copy.output(), seconds)

    def close(self, script, copy):
        self.post(script, WM_CLOSE)
        return copy.wait()

    def kill_leftovers(self):
        """Kills copies a Reload started (they run outside any time limit)."""
        for name in self.scripts:
            for _ in range(3):
                pid = qrv_pid(name, tries=1)
                if not pid:
                    break
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
                time.sleep(0.2)


def view_script(h, name, command):
    return h.write(name, SCRIPT_HEAD + command + "\n" + SCRIPT_TAIL)


def check_variables(text):
    return (text is not None and text.startswith(VARIABLES_HEADER) and
            re.search(r"\r\nx\[5 of \d+\]: hello\r\n", text) is not None)


def check_lines(last_line):
    def check(text):
        return (text is not None and text.startswith(LINES_HEADER) and text.endswith(REFRESH_HINT) and
                re.search(r"\r\n" + re.escape(last_line) + r"( \(\d+\.\d\d\))?\r\n\r\nPress", text) is not None)
    return check


def check_key_history(text):
    return text is not None and KEY_HISTORY_RE.match(text) is not None


# The commands that open views, and what their view must show.
VIEW_COMMANDS = [
    ("listvars", "ListVars", check_variables),
    ("listlines", "ListLines", check_lines("005: ListLines")),
    ("listlines_other", "ListLines, Show", check_lines("005: ListLines,Show")),
    ("keyhistory", "KeyHistory", check_key_history),
    ("listhotkeys", "ListHotkeys", lambda text: text == HOTKEYS_TEXT),
]


def case_view_commands(h):
    for name, command, check in VIEW_COMMANDS:
        script = view_script(h, name, command)
        copy = h.start(script, name)
        if not h.check(name, h.wait_for_output(copy, "ready\n"), f"{command} ran"):
            copy.wait(1)
            continue
        text = h.wait_until(lambda: h.text(script), 5)
        h.check(name, check(text), f"{command} fills the viewer: {text!r}")
        h.check(name, h.visible(script), f"{command} shows the main window")
        code = h.close(script, copy)
        h.check(name, code == 0 and copy.output() == "ready\nreason Close\n",
                f"closes with reason Close: exit {code}, output {copy.output()!r}")


def case_menu_views(h):
    """The View menu's items, the close box, Escape and the tray's Open."""
    case = "menu_views"
    script = view_script(h, case, "")
    copy = h.start(script, case)
    if not h.check(case, h.wait_for_output(copy, "ready\n"), "script started"):
        copy.wait(1)
        return
    h.check(case, not h.visible(script), "the main window starts hidden")
    steps = [
        (ID_VIEW_VARIABLES, check_variables),
        (ID_VIEW_LINES, check_lines("007: Return")),
        (ID_VIEW_HOTKEYS, lambda text: text == HOTKEYS_TEXT),
        (ID_VIEW_REFRESH, lambda text: text == HOTKEYS_TEXT),
        (ID_VIEW_KEYHISTORY, check_key_history),
    ]
    for item, check in steps:
        h.post(script, WM_COMMAND, item)
        text = h.wait_until(lambda: (lambda t: t if check(t) else None)(h.text(script)), 5)
        h.check(case, check(text), f"menu item {item} shows its view: {h.text(script)!r}")
    h.check(case, h.visible(script), "the views show the window")

    for command, what in ((SC_CLOSE, "the close box"), (SC_MINIMIZE, "minimising")):
        h.post(script, WM_SYSCOMMAND, command)
        h.check(case, h.wait_until(lambda: not h.visible(script), 5), f"{what} hides the window")
        h.check(case, copy.process.poll() is None, f"{what} does not end the script")
        h.post(script, WM_COMMAND, ID_TRAY_OPEN)
        h.check(case, h.wait_until(lambda: h.visible(script), 5), "the tray's Open shows it again")
    h.check(case, check_key_history(h.text(script)), "Open keeps the current view")

    h.post(script, WM_KEYDOWN, VK_ESCAPE, 0, EDIT_ID)
    h.check(case, h.wait_until(lambda: not h.visible(script), 5), "Escape in the viewer hides the window")

    h.post(script, MSG_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK)
    h.check(case, h.wait_until(lambda: h.visible(script), 5), "double-clicking the tray icon opens the window")

    code = h.close(script, copy)
    h.check(case, code == 0 and copy.output() == "ready\nreason Close\n",
            f"WM_CLOSE still ends it with reason Close: exit {code}, output {copy.output()!r}")


def case_menu_exit(h):
    for name, item in (("tray_exit", ID_TRAY_EXIT), ("file_exit", ID_FILE_EXIT)):
        script = view_script(h, name, "")
        copy = h.start(script, name)
        if not h.check(name, h.wait_for_output(copy, "ready\n"), "script started"):
            copy.wait(1)
            continue
        h.post(script, WM_COMMAND, item)
        code = copy.wait()
        h.check(name, code == 0 and copy.output() == "ready\nreason Menu\n",
                f"menu command {item} exits with reason Menu: exit {code}, output {copy.output()!r}")


def case_tray_menu(h):
    """Right-clicking the icon shows the standard menu; its Exit item ends the script."""
    case = "tray_menu"
    script = view_script(h, case, "")
    copy = h.start(script, case)
    if not h.check(case, h.wait_for_output(copy, "ready\n"), "script started"):
        copy.wait(1)
        return
    h.post(script, MSG_TRAY_NOTIFY, 0, WM_RBUTTONUP)
    shown = h.wait_until(lambda: h.tool("exists", POPUP_MENU_CLASS)[0] == 0, 10)
    h.check(case, shown, "a right click shows the tray menu")
    # The menu's own loop reads the thread's keystrokes: "x" is E&xit's mnemonic.
    h.post(script, WM_KEYDOWN, VK_X)
    code = copy.wait()
    h.check(case, code == 0 and copy.output() == "ready\nreason Menu\n",
            f"choosing E&xit exits with reason Menu: exit {code}, output {copy.output()!r}")


def reload_script(h, name, reload_line):
    return h.write(name, "#Persistent\nOnExit, bye\nFileAppend, run %0%`n, log.txt\n" + reload_line +
                   "return\n\nbye:\nFileAppend, exit %A_ExitReason%`n, log.txt\nExitApp\n")


def read_log(h):
    path = os.path.join(h.folder, "log.txt")
    if not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace").replace("\r\n", "\n")


def case_reload(h):
    """Reload starts a new copy with /restart; the new copy closes the old one."""
    cases = [
        # The command, run when the script has a parameter (the new copy has none).
        ("reload_command", "if 0 = 1\n    Reload\n", ["first"], None, "run 1\n"),
        # The tray menu's Reload item.
        ("reload_menu", "", [], ID_TRAY_RELOAD, "run 0\n"),
    ]
    for name, line, params, item, first in cases:
        log = os.path.join(h.folder, "log.txt")
        if os.path.exists(log):
            os.remove(log)
        script = reload_script(h, name, line)
        copy = h.start(script, name, params)
        if item:
            h.wait_until(lambda: read_log(h) == first, 15)
            h.post(script, WM_COMMAND, item)
        code = copy.wait()
        h.check(name, code == 0, f"the old copy ends normally: exit {code}")
        expected = first + "exit Reload\nrun 0\n"
        h.check(name, h.wait_until(lambda: read_log(h) == expected, 15),
                f"the old copy exits with reason Reload, then the new copy runs: {read_log(h)!r}")
        h.check(name, h.wait_until(lambda: h.exists(script), 10), "the new copy has its main window")
        h.post(script, WM_CLOSE)
        h.check(name, h.wait_until(lambda: read_log(h) == expected + "exit Close\n", 15),
                f"the new copy closes normally: {read_log(h)!r}")
        h.wait_until(lambda: not qrv_pid(name + ".qrv", tries=1), 10)


def case_dialog_timeout(h):
    """The dialog message finds the process's dialog and ends it after the time-out."""
    case = "dialog_timeout"
    script = h.write(case, "#Persistent\nSetTimer, after, 10\nFileAppend, before`n, *\nthrow 5\n\n"
                           "after:\nFileAppend, after`n, *\nExitApp\n")
    copy = h.start(script, case)
    if not h.check(case, h.wait_for_output(copy, "before\n"), "script started"):
        copy.wait(1)
        return
    shown = h.wait_until(lambda: h.tool("dialog", MAIN_CLASS, h.win(script))[0] == 0, 15)
    h.check(case, shown, "the script shows its error dialog")
    time.sleep(0.5)
    h.check(case, copy.output() == "before\n" and copy.process.poll() is None,
            f"the error dialog holds the thread: {copy.output()!r}")
    h.post(script, WM_COMMNOTIFY, MSG_DIALOG_SHOWN, 300)
    code = copy.wait(15)
    h.check(case, code == 0 and copy.output() == "before\nafter\n",
            f"the dialog closes after its time-out and the script goes on: exit {code}, output {copy.output()!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("cases", nargs="*", help="names of cases to run (default: all)")
    args = parser.parse_args()
    h = Harness(args.build_dir)
    # The tray menu runs alone: a popup menu closes when another window takes
    # the foreground. The other cases read and drive only their own script's
    # windows, so they run in two lines side by side.
    alone = [case_tray_menu]
    side_by_side = [[case_view_commands, case_menu_exit, case_dialog_timeout], [case_menu_views, case_reload]]

    def run_cases(cases):
        for case in cases:
            if not args.cases or case.__name__[5:] in args.cases:
                try:
                    case(h)
                except Exception:  # in a thread it would otherwise only be printed
                    h.check(case.__name__[5:], False, "raised:\n" + traceback.format_exc())

    try:
        run_cases(alone)
        lines = [threading.Thread(target=run_cases, args=(cases,)) for cases in side_by_side]
        for line in lines:
            line.start()
        for line in lines:
            line.join()
    finally:
        h.kill_leftovers()
    if h.failures:
        print("failed:", ", ".join(sorted(set(h.failures))))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
