#!/usr/bin/env python3
"""Runs a GUI script test and gives it real input: the script asks for
pointer moves, clicks and keys, and this driver performs them with xdotool
on the X display Wine draws on.

    gui_driver.py --build-dir BUILD SCRIPT.qrv

The script and its .expect (and an "include" folder beside them, if any)
are copied to a temporary folder, which is the script's working folder.
The script writes a request to "drive.tmp" and renames it to "drive.req";
the driver carries out its lines in order and deletes the file, which
tells the script the input has been sent. A request line is either

    point HWND [DX DY]   move the pointer to the centre of the window or
                         control HWND (or DX,DY from its top-left corner)
    shot HWND NAME       take a screenshot of the window or control HWND
                         into NAME.png and describe it in NAME.txt, one
                         line: "COLOURS SIGNATURE CORNER" (the number of
                         distinct colours, a hash of the pixels, and the
                         RRGGBB colour of the pixel at 1,1)
    probe HWND NAME      write what guiprobe.exe reads of the window and
                         every control in it into NAME.txt (class, place,
                         styles, font face and size, check state, text)
    focus HWND           wait (up to 10 s) until the keyboard focus of the
                         window's thread is on HWND
    drop HWND X Y FILE.. hand the window a real WM_DROPFILES of the files
                         at its client point X,Y (made inside its process)
    anything else        arguments for one xdotool run ("click 1",
                         "key Tab", "type abc", "mousedown 3", ...)

Screen coordinates under Wine are the X display's, so a control's window
rectangle (read by qrvwin.exe) is where xdotool aims. Without a window
manager focus follows the pointer, so a script points at its window before
it types. The script test itself runs through run_script_test.py, with its
time limit, dialog handling and comparison; a request that cannot be
carried out is reported and fails the test.
"""
import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
REQUEST = "drive.req"
POLL_S = 0.05
TOOL_LIMIT_S = 20
FOCUS_LIMIT_S = 10


def window_rect(build, hwnd):
    """The screen rectangle of HWND as (left, top, right, bottom), or None."""
    done = subprocess.run(["timeout", str(TOOL_LIMIT_S), "wine", os.path.join(build, "bin", "qrvwin.exe"), "rect",
                           hwnd], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    parts = done.stdout.decode(errors="replace").split()
    if done.returncode != 0 or len(parts) != 4:
        return None
    return tuple(int(p) for p in parts)


def screenshot(build, folder, hwnd, name):
    """Saves and describes the screen area of HWND; returns an error text or None."""
    rect = window_rect(build, hwnd)
    if rect is None:
        return f"no window {hwnd}"
    image = os.path.join(folder, name + ".png")
    area = f"{rect[2] - rect[0]}x{rect[3] - rect[1]}+{rect[0]}+{rect[1]}"
    done = subprocess.run(["timeout", str(TOOL_LIMIT_S), "import", "-window", "root", "-crop", area, "+repage", image],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        return f"import: {done.stdout.decode(errors='replace').strip()}"
    done = subprocess.run(["timeout", str(TOOL_LIMIT_S), "convert", image, "-format", "%k %# %[hex:p{1,1}]", "info:"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        return f"convert: {done.stdout.decode(errors='replace').strip()}"
    with open(os.path.join(folder, name + ".txt"), "w") as f:
        f.write(done.stdout.decode(errors="replace").strip() + "\n")
    return None


def run_probe(build, words):
    """Runs guiprobe.exe with the words; returns (answer text, error text)."""
    done = subprocess.run(["timeout", str(TOOL_LIMIT_S), "wine", os.path.join(build, "bin", "guiprobe.exe")] + words,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    answer = done.stdout.decode("utf-8", errors="replace")
    if done.returncode != 0:
        return None, f"guiprobe {' '.join(words)}: exit {done.returncode}"
    if answer.startswith("error:"):
        return None, f"guiprobe {' '.join(words)}: {answer.strip()}"
    return answer, None


def probe_to_file(build, folder, hwnd, name):
    """Writes the probe's dump of HWND into NAME.txt; returns an error text or None."""
    answer, error = run_probe(build, ["dump", hwnd])
    if error:
        return error
    with open(os.path.join(folder, name + ".txt"), "w", encoding="utf-8") as f:
        f.write(answer)
    return None


def wait_for_focus(build, hwnd):
    """Polls the focus of HWND's thread until it is HWND; returns an error text or None."""
    wanted = int(hwnd, 0)
    deadline = time.monotonic() + FOCUS_LIMIT_S
    focus = "?"
    while time.monotonic() < deadline:
        answer, error = run_probe(build, ["focus", hwnd])
        if error:
            return error
        focus = answer.strip()
        if int(focus, 0) == wanted:
            return None
        time.sleep(POLL_S)
    return f"the focus never reached {hwnd} (it is on {focus})"


def carry_out(build, folder, line):
    """Performs one request line; returns an error text or None."""
    # A drop names Windows paths, whose backslashes are not escapes.
    words = shlex.split(line.replace("\\", "\\\\") if line.startswith("drop ") else line)
    if not words:
        return None
    if words[0] == "probe":
        return probe_to_file(build, folder, words[1], words[2]) if len(words) == 3 else f"bad request {line!r}"
    if words[0] == "focus":
        return wait_for_focus(build, words[1]) if len(words) == 2 else f"bad request {line!r}"
    if words[0] == "drop":
        return run_probe(build, words)[1] if len(words) >= 5 else f"bad request {line!r}"
    if words[0] == "shot":
        return screenshot(build, folder, words[1], words[2]) if len(words) == 3 else f"bad request {line!r}"
    if words[0] == "point":
        if len(words) not in (2, 4):
            return f"bad request {line!r}"
        rect = window_rect(build, words[1])
        if rect is None:
            return f"no window {words[1]}"
        if len(words) == 4:
            x, y = rect[0] + int(words[2]), rect[1] + int(words[3])
        else:
            x, y = (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2
        words = ["mousemove", str(x), str(y)]
    done = subprocess.run(["timeout", str(TOOL_LIMIT_S), "xdotool"] + words, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    if done.returncode != 0:
        return f"xdotool {' '.join(words)}: exit {done.returncode} {done.stdout.decode(errors='replace').strip()}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("script")
    options = parser.parse_args()
    build = os.path.abspath(options.build_dir)
    if not shutil.which("xdotool"):
        print("SKIP xdotool is not installed")
        return 77
    source = os.path.dirname(os.path.abspath(options.script))
    folder = tempfile.mkdtemp(prefix="qrvgui")
    try:
        name = os.path.basename(options.script)
        shutil.copy(options.script, folder)
        shutil.copy(os.path.splitext(options.script)[0] + ".expect", folder)
        if os.path.isdir(os.path.join(source, "include")):
            shutil.copytree(os.path.join(source, "include"), os.path.join(folder, "include"))
        test = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "harness", "run_script_test.py"),
                                 "--build-dir", build, os.path.join(folder, name)])
        request = os.path.join(folder, REQUEST)
        errors = []
        while test.poll() is None:
            if not os.path.exists(request):
                time.sleep(POLL_S)
                continue
            with open(request, encoding="utf-8", errors="replace") as f:
                lines = f.read().splitlines()
            for line in lines:
                error = carry_out(build, folder, line.strip())
                if error:
                    errors.append(error)
                    print("driver: " + error)
                    break
            os.remove(request)
        for error in errors:
            print("FAIL driver: " + error)
        if errors and test.returncode == 0:
            return 1
        return test.returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
