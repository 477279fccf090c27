#!/usr/bin/env python3
"""End-to-end test of the shipped runtime, Quorivance.exe.

A copy of it runs from a temporary folder with its icon and picture, in the
Wine prefix that tests/fixtures/standins/setup_prefix.sh prepares (Wine's
missing certutil and WScript.Shell Exec streams stood in for by fixtures of
ours; the product runs unchanged). Through the probe (qrvprobe.exe) the test
checks the window as its embedded script lays it out: title, client size,
alpha, big icon, and every control's class, text, position, size and font,
read from resources/embedded/script.qrv; the picture has logo.png's size.
A screenshot is kept (build/test-artifacts/patch-window.png); the
background has the script's colour and the Chinese title drew real glyphs.
Then the buttons: with the box clear both ask for the notice to be
accepted; with wrong file sizes the verify button reports failure without
hashing; the run button starts _chs.exe (a fixture that leaves a marker);
with sparse files of the exact sizes the verify button hashes both files
through WScript.Shell's Exec and certutil and reports failure. Escape ends
the program with exit code 0; a second start replaces the first without a
prompt; the close box ends it with exit code 0.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "resources", "embedded", "script.qrv")
GUI_CLASS = "QuorivanceGUI"
LIMIT = 150
BACKGROUND = (0xEE, 0xAA, 0x99)
CLIENT = [1024, 576]
ALPHA = 245
SC_CLOSE = 0xF060
VK_ESCAPE = 0x1B
KCA_SIZE, EXE_SIZE = 113522302, 4355584
CLASS_OF_KIND = {"Text": "Static", "Link": "SysLink", "Edit": "Edit", "Checkbox": "Button", "Button": "Button",
                 "Picture": "Static"}
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "`": "`", ";": ";", ",": ",", "%": "%"}


def unescape(text):
    return re.sub(r"`(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), text)


def script_layout():
    """The title, the message texts and the controls the embedded script makes."""
    with open(SCRIPT, encoding="utf-8") as f:
        lines = f.read().split("\n")
    font, controls, title, messages = None, [], None, []
    for line in lines:
        m = re.match(r"Gui, Font, s(\d+), (.+)$", line)
        if m:
            font = (int(m.group(1)), m.group(2))
            continue
        m = re.match(r"Gui, Add, (\w+), ([^,]*), (.*)$", line)
        if m:
            kind, options, text = m.groups()
            place = {k: int(v) for k, v in re.findall(r"\b([xywh])(\d+)\b", options)}
            controls.append({"kind": kind, "text": unescape(text), "place": place, "font": font})
            continue
        m = re.match(r"Gui Show, [^,]*, (.+)$", line)
        if m:
            title = m.group(1)
        m = re.match(r"\s*msgbox, (.+)$", line, re.I)
        if m and m.group(1) not in messages:
            messages.append(m.group(1))
    return title, controls, messages


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return list(struct.unpack(">II", head[16:24]))


def sparse_sha1(size):
    digest, chunk = hashlib.sha1(), bytes(1 << 20)
    left = size
    while left:
        step = min(left, len(chunk))
        digest.update(chunk[:step])
        left -= step
    return digest.hexdigest()


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def crop_pixels(shot, x, y, w, h):
    """The RGB bytes of a rectangle of a screenshot, row by row."""
    raw = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                         capture_output=True).stdout
    return [[tuple(raw[(r * w + c) * 3:(r * w + c) * 3 + 3]) for c in range(w)] for r in range(h)]


def glyph_shapes(pixels, background, tolerance=60):
    """The shapes of the inked column runs of a text picture: a font without
    the characters draws the same box for each, real glyphs differ."""
    inked = [[sum(abs(a - b) for a, b in zip(p, background)) > tolerance for p in row] for row in pixels]
    width = len(inked[0]) if inked else 0
    columns = [tuple(r for r, row in enumerate(inked) if row[c]) for c in range(width)]
    shapes, run = [], []
    for column in columns + [()]:
        if column:
            run.append(column)
        elif run:
            shapes.append(tuple(run))
            run = []
    return shapes


class PatchWindowTest:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.bin = os.path.join(self.build, "bin")
        self.failures = []
        self.title, self.controls, self.messages = script_layout()
        self.folder = tempfile.mkdtemp(prefix="qrvpatch")
        self.log = os.path.join(self.folder, "standins.log")
        for name in ("Quorivance.exe", "1.ico", "logo.png"):
            shutil.copy(os.path.join(self.bin, name), self.folder)
        prefix = subprocess.run([os.path.join(ROOT, "tests", "fixtures", "standins", "setup_prefix.sh"), self.build],
                                capture_output=True, text=True, timeout=600)
        if prefix.returncode != 0:
            raise SystemExit(f"the test prefix could not be prepared: {prefix.stderr}")
        self.env = dict(os.environ, WINEPREFIX=prefix.stdout.strip(), WINEDEBUG="-all",
                        QRV_STANDIN_LOG=win_path(self.log))

    def check(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures.append(what)

    def start(self):
        return subprocess.Popen(["timeout", "-k", "5", str(LIMIT), "wine", os.path.join(self.folder, "Quorivance.exe")],
                                cwd=self.folder, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def probe(self, *args, limit=30):
        done = subprocess.run(["timeout", str(limit), "wine", os.path.join(self.bin, "qrvprobe.exe")] +
                              [str(a) for a in args], capture_output=True, env=self.env)
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def wait_visible(self, process):
        for _ in range(120):
            code, _ = self.probe("describe", self.title)
            if code == 0 and subprocess.run(["timeout", "20", "wine", os.path.join(self.bin, "qrvwin.exe"), "visible",
                                             GUI_CLASS, self.title], env=self.env).returncode == 0:
                return True
            if process.poll() is not None:
                return False
            time.sleep(0.5)
        return False

    @staticmethod
    def exit_code(process, seconds=30):
        try:
            return process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            return None

    def dialog(self, seconds=20):
        """The next dialog the window's process shows (pressed OK), or None."""
        code, out = self.probe("dialog", self.title, seconds, limit=seconds + 20)
        return json.loads(out) if code == 0 else None

    def press(self, caption):
        code, _ = self.probe("click", self.title, caption)
        self.check(code == 0, f"the button {caption} is pressed")

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return f.read().splitlines()

    def installed_faces(self):
        """Each face the script names, or the one a control gets instead: a
        face with no installed family leaves the font's previous face."""
        faces, previous = {}, None
        for control in self.controls:
            face = control["font"][1]
            if face not in faces:
                faces[face] = face if self.probe("hasfont", face)[0] == 0 else None
            control["face"] = faces[face] or previous
            previous = control["face"]

    def check_layout(self, layout):
        self.check(layout["client"] == CLIENT, f"client area {layout['client']}")
        self.check(layout["layered"] and layout["alpha"] == ALPHA, f"layered with alpha {layout['alpha']}")
        self.check(layout["bigicon"], "the big icon is set")
        got = layout["controls"]
        self.check(len(got) == len(self.controls), f"{len(self.controls)} controls ({len(got)})")
        previous = None
        for want, have in zip(self.controls, got):
            name = f"{want['kind']} {want['text'][:12]!r}"
            self.check(have["class"] == CLASS_OF_KIND[want["kind"]], f"{name}: class {have['class']}")
            if want["kind"] == "Link":
                strip = lambda t: re.sub(r"<[^>]*>", "", t)
                self.check(strip(have["text"]) == strip(want["text"]), f"{name}: link text")
            elif want["kind"] != "Picture":
                self.check(have["text"].replace("\r\n", "\n") == want["text"], f"{name}: caption {have['text'][:20]!r}")
            size, face = want["font"][0], want["face"]
            if want["kind"] != "Picture":
                self.check(have["face"] == face and have["points"] == size,
                           f"{name}: font {have['face']} {have['points']} (want {face} {size})")
            place = want["place"]
            for key in "xywh":
                if key in place:
                    self.check(have[key] == place[key], f"{name}: {key} {have[key]} (want {place[key]})")
            if "y" not in place and previous is not None:
                # Automatic positions: one under the other, in the same column.
                self.check(have["x"] == previous["x"] and have["y"] >= previous["y"] + previous["h"],
                           f"{name}: below the control before it ({have['x']},{have['y']})")
            if want["kind"] == "Picture":
                size = png_size(os.path.join(self.folder, "logo.png"))
                self.check([have["w"], have["h"]] == size, f"the picture is as large as logo.png {size}")
            previous = have

    def check_screen(self, layout):
        artifacts = os.path.join(self.build, "test-artifacts")
        os.makedirs(artifacts, exist_ok=True)
        shot = os.path.join(artifacts, "patch-window.png")
        subprocess.run(["import", "-window", "root", shot], check=False, env=self.env)
        self.check(os.path.exists(shot), f"a screenshot is kept: {shot}")
        ox, oy = layout["origin"]
        # A point of the client area that no control covers: between the credits and the buttons.
        pixel = crop_pixels(shot, ox + 300, oy + 560, 1, 1)
        rgb = pixel[0][0] if pixel and pixel[0] else None
        self.check(rgb is not None and all(abs(a - b) <= 24 for a, b in zip(rgb, BACKGROUND)),
                   f"the background has the script's colour ({rgb})")
        heading = layout["controls"][0]
        pixels = crop_pixels(shot, ox + heading["x"], oy + heading["y"], heading["w"], heading["h"])
        shapes = glyph_shapes(pixels, rgb or BACKGROUND)
        distinct = len(set(shapes))
        self.check(len(shapes) >= 6 and distinct >= 6,
                   f"the Chinese title drew distinct glyphs ({distinct} shapes among {len(shapes)})")

    def check_buttons(self, accept, failure):
        verify, run = self.controls[-4]["text"], self.controls[-3]["text"]
        checkbox = self.controls[-5]["text"]
        for caption in (verify, run):
            self.press(caption)
            shown = self.dialog()
            self.check(shown is not None and shown["text"] == accept,
                       f"{caption} with the box clear shows {accept!r} ({shown})")
        self.check(not os.path.exists(os.path.join(self.folder, "started.marker")), "nothing was started")

        self.check(self.probe("check", self.title, checkbox, 1)[0] == 0, "the box is ticked")
        self.press(verify)
        shown = self.dialog()
        self.check(shown is not None and shown["text"] == failure, f"wrong sizes show the failure message ({shown})")
        self.check(self.log_lines() == [], f"wrong sizes are not hashed ({self.log_lines()})")

        self.press(run)
        marker = os.path.join(self.folder, "started.marker")
        for _ in range(40):
            if os.path.exists(marker):
                break
            time.sleep(0.5)
        started = open(marker, encoding="utf-8").read().split("\n") if os.path.exists(marker) else []
        self.check(started[:1] == [win_path(self.folder)], f"the run button starts _chs.exe in its folder ({started})")

        for name, size in (("Lunabrook.kca", KCA_SIZE), ("_chs.exe", EXE_SIZE)):
            with open(os.path.join(self.folder, name), "wb") as f:
                f.truncate(size)
        self.press(verify)
        shown = self.dialog(seconds=90)
        self.check(shown is not None and shown["text"] == failure,
                   f"right sizes with other content show the failure message ({shown})")
        lines = self.log_lines()
        want = [f"certutil -hashfile {name} {sparse_sha1(size)}" for name, size in
                (("Lunabrook.kca", KCA_SIZE), ("_chs.exe", EXE_SIZE))]
        hashed = [line for line in lines if line.startswith("certutil")]
        execs = [line for line in lines if line.startswith("exec")]
        self.check(hashed == want, f"both files were hashed through certutil ({hashed})")
        self.check(len(execs) == 2 and all(line.endswith(" /C certutil -hashfile " + name) for line, name in
                                           zip(execs, ("Lunabrook.kca", "_chs.exe"))),
                   f"through WScript.Shell's Exec and the command processor ({execs})")

    def press_escape(self, layout, process):
        """Escape over the window, as a user presses it. Under load another
        test's window can hold the X focus and take the real key; then the
        same key press is posted to the window's focused control, so what is
        tested is still the program's own handling of Escape. Returns how the
        key arrived."""
        ox, oy = layout["origin"]
        subprocess.run(["xdotool", "mousemove", str(ox + 700), str(oy + 300)], env=self.env)
        subprocess.run(["timeout", "10", "xdotool", "search", "--limit", "1", "--name", re.escape(self.title),
                        "windowfocus", "--sync"], env=self.env, capture_output=True)
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "Escape"], env=self.env)
        try:
            process.wait(5)
            return "the keyboard"
        except subprocess.TimeoutExpired:
            pass
        code, _ = self.probe("key", self.title, VK_ESCAPE)
        return f"a posted key press (probe exit {code}); the real key went elsewhere"

    def run(self):
        accept, failure = self.messages[0], self.messages[1]
        with open(os.path.join(self.folder, "Lunabrook.kca"), "w") as f:
            f.write("not the archive")
        shutil.copy(os.path.join(self.bin, "qrvgame.exe"), os.path.join(self.folder, "_chs.exe"))

        first = self.start()
        self.check(self.wait_visible(first), "the window shows with its title")
        time.sleep(1.5)
        code, out = self.probe("describe", self.title)
        layout = json.loads(out) if code == 0 else None
        self.check(layout is not None, "the probe reads the window")
        if layout:
            self.installed_faces()
            self.check_layout(layout)
            self.check_screen(layout)
            self.check_buttons(accept, failure)
            how = self.press_escape(layout, first)
        else:
            how = "no key: the window was not read"
        code = self.exit_code(first)
        self.check(code == 0, f"Escape ends the program with exit code 0 ({code}, through {how})")

        first = self.start()
        self.check(self.wait_visible(first), "it starts again")
        second = self.start()
        code = self.exit_code(first)
        self.check(code == 0, f"a second start replaces the first without a prompt (first exit {code})")
        self.check(self.wait_visible(second), "the second copy shows its window")
        self.probe("command", self.title, SC_CLOSE)
        code = self.exit_code(second)
        self.check(code == 0, f"the close box ends the program with exit code 0 ({code})")
        subprocess.run(["timeout", "30", "wineserver", "-k"], env=self.env, check=False)
        shutil.rmtree(self.folder, ignore_errors=True)
        return 1 if self.failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    return PatchWindowTest(parser.parse_args().build_dir).run()


if __name__ == "__main__":
    sys.exit(main())
