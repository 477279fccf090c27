#!/usr/bin/env python3
"""End-to-end test of the shipped runtime: Quorivance.exe, copied into a
temporary folder with its icon and picture (the game files absent), shows
the patch-information window; a screenshot of it is kept as a test artifact
(build/test-artifacts/patch-window.png); its background has the script's
colour; a second start replaces the first without a prompt (the first ends
with exit code 0); closing the window ends the program with exit code 0.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

TITLE = "【青灯译坊】《月之溪》补丁说明"
GUI_CLASS = "QuorivanceGUI"
WM_CLOSE = 0x10
LIMIT = 40
BACKGROUND = (0xEE, 0xAA, 0x99)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    build = os.path.abspath(parser.parse_args().build_dir)
    bin_dir = os.path.join(build, "bin")
    folder = tempfile.mkdtemp(prefix="qrvpatch")
    for name in ("Quorivance.exe", "1.ico", "logo.png"):
        shutil.copy(os.path.join(bin_dir, name), folder)
    failures = []

    def check(condition, what):
        print(("ok   " if condition else "FAIL ") + what)
        if not condition:
            failures.append(what)

    def start():
        return subprocess.Popen(["timeout", "-k", "5", str(LIMIT), "wine", os.path.join(folder, "Quorivance.exe")],
                                cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def qrvwin(*args):
        return subprocess.run(["timeout", "20", "wine", os.path.join(bin_dir, "qrvwin.exe")] + list(args),
                              capture_output=True)

    def wait_visible(process):
        for _ in range(60):
            if qrvwin("visible", GUI_CLASS, TITLE).returncode == 0:
                return True
            if process.poll() is not None:
                return False
            time.sleep(0.5)
        return False

    def exit_code(process, seconds=20):
        try:
            return process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            return None

    first = start()
    check(wait_visible(first), "the window shows with its title")
    time.sleep(1.5)
    artifacts = os.path.join(build, "test-artifacts")
    os.makedirs(artifacts, exist_ok=True)
    shot = os.path.join(artifacts, "patch-window.png")
    subprocess.run(["import", "-window", "root", shot], check=False)
    check(os.path.exists(shot), f"a screenshot is kept: {shot}")
    search = subprocess.run(["xdotool", "search", "--name", TITLE], capture_output=True, text=True)
    window = search.stdout.split()[0] if search.stdout.split() else None
    if window:
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                                  text=True).stdout
        values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        x, y = int(values["X"]), int(values["Y"])
        # A point of the client area that no control covers: between the credits and the buttons.
        pixel = subprocess.run(["convert", shot, "-crop", f"1x1+{x + 300}+{y + 560}", "-format",
                                "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]", "info:"],
                               capture_output=True, text=True).stdout.split()
        rgb = tuple(int(v) for v in pixel) if len(pixel) == 3 else None
        check(rgb is not None and all(abs(a - b) <= 24 for a, b in zip(rgb, BACKGROUND)),
              f"the background has the script's colour ({rgb})")
    else:
        check(False, "the window is found on the X display")

    second = start()
    code = exit_code(first)
    check(code == 0, f"a second start replaces the first without a prompt (first exit {code})")
    check(wait_visible(second), "the second copy shows its window")
    qrvwin("post", GUI_CLASS, TITLE, str(WM_CLOSE))
    code = exit_code(second)
    check(code == 0, f"closing the window ends the program with exit code 0 ({code})")
    shutil.rmtree(folder, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
