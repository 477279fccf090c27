#!/usr/bin/env python3
"""Tests of the script compiler, qrvc.exe.

A script with an #Include and a FileInstall is compiled; the executable must
print what qrv.exe prints for the same script, carry the merged text (the
compiler comment first, no #Include left, LF line ends, no final line feed)
as its ">QUORIVANCE SCRIPT<" resource, and the FileInstall source as a
resource named after it in capitals. The /icon switch replaces the main icon.
Bad input (a load error, a missing include or FileInstall source, an output
that cannot be written, a bad icon, no arguments) fails with a clear message
and a non-zero exit, and leaves no executable behind (an existing output
stays as it was).
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

LIMIT = 60
RT_ICON, RT_RCDATA, RT_GROUP_ICON = 3, 10, 14
IDI_MAIN = 159

MAIN_SCRIPT = """\
#Include lib\\greeting.qrv
#Include *i lib\\absent.qrv
FileAppend, % Greet("compiled world") "`n", *
dest := A_Temp "\\qrvc_test_payload_" A_ScriptName ".txt"
FileDelete, %dest%
FileInstall, payload.txt, %dest%
FileAppend, install %ErrorLevel%`n, *
FileRead, text, %dest%
FileAppend, %text%, *
FileDelete, %dest%
FileAppend, % "args " A_Args.Length() "`n", *
"""
LIB_SCRIPT = """\
; helper functions, merged into the compiled script
Greet(who) {
  return "hello, " who
}
"""
PAYLOAD = "payload line one\r\npayload line two\r\n"


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(command, cwd):
    try:
        done = subprocess.run(["timeout", "-k", "5", str(LIMIT)] + command, cwd=cwd, capture_output=True)
    except OSError as e:
        return 127, "", str(e)
    decode = lambda b: b.decode("utf-8", "replace").replace("\r\n", "\n")
    return done.returncode, decode(done.stdout), decode(done.stderr)


def read_resources(path):
    """The resources of a PE file as {(type, name): bytes}; names are ints or upper-case strings."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size
    rva_to_offset = None
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if vaddr <= rsrc_rva < vaddr + max(vsize, rawsize):
            rva_to_offset = lambda rva, v=vaddr, r=rawptr: rva - v + r
    base = rva_to_offset(rsrc_rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for kind, type_dir in entries(0):
        for name, name_dir in entries(type_dir & 0x7FFFFFFF):
            for _, leaf in entries(name_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                at = rva_to_offset(rva)
                found[(kind, name)] = data[at:at + size]
    return found


class Tests:
    def __init__(self, build):
        self.bin = os.path.join(os.path.abspath(build), "bin")
        self.folder = tempfile.mkdtemp(prefix="qrvc")
        self.failures = []

    def check(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what)
        if not condition:
            self.failures.append(what)

    def write(self, name, text, newline="\n"):
        path = os.path.join(self.folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline=newline) as f:
            f.write(text)
        return path

    def compile(self, *args):
        return run(["wine", os.path.join(self.bin, "qrvc.exe")] + list(args), self.folder)

    def compiled_matches_interpreter(self):
        script = self.write("main.qrv", MAIN_SCRIPT, newline="\r\n")
        self.write("lib/greeting.qrv", LIB_SCRIPT)
        self.write("payload.txt", PAYLOAD, newline="")
        code, out, err = self.compile(win(script), win(os.path.join(self.folder, "main.exe")))
        self.check(code == 0 and "compiled" in out, f"compiles (exit {code}, {out!r} {err!r})")
        _, expected, _ = run(["wine", os.path.join(self.bin, "qrv.exe"), win(script)], self.folder)
        code, got, err = run(["wine", os.path.join(self.folder, "main.exe")], self.folder)
        want = ("hello, compiled world\ninstall 0\npayload line one\npayload line two\nargs 0\n")
        self.check(expected == want, f"qrv.exe prints the script's output ({expected!r})")
        self.check(code == 0 and got == expected, f"the compiled script prints the same ({code}, {got!r})")

        resources = read_resources(os.path.join(self.folder, "main.exe"))
        text = resources.get((RT_RCDATA, ">QUORIVANCE SCRIPT<"), b"").decode("utf-8")
        self.check(text.startswith("; <COMPILER: v1.1.29.01>\n"), "the script resource starts with the compiler comment")
        self.check("#Include" not in text and "Greet(who) {" in text, "the included file is merged in place")
        self.check("\r" not in text and not text.endswith("\n"), "LF line ends and no final line feed")
        self.check(not text.startswith("\ufeff"), "no byte-order mark")
        self.check(resources.get((RT_RCDATA, "PAYLOAD.TXT")) == PAYLOAD.encode(),
                   "the FileInstall source is stored under its name in capitals")

    def icon_is_replaced(self):
        icon = os.path.join(os.path.dirname(self.bin), "bin", "1.ico")
        out_exe = os.path.join(self.folder, "iconed.exe")
        code, _, err = self.compile(win(os.path.join(self.folder, "main.qrv")), win(out_exe), "/icon", win(icon))
        self.check(code == 0, f"compiles with /icon ({err!r})")
        resources = read_resources(out_exe)
        group = resources.get((RT_GROUP_ICON, IDI_MAIN), b"")
        count = struct.unpack_from("<H", group, 4)[0] if len(group) >= 6 else 0
        sizes, images_ok = [], True
        with open(icon, "rb") as f:
            ico = f.read()
        for i in range(count):
            w, h, _, _, _, _, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            sizes.append(w)
            _, _, _, _, _, _, isize, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            images_ok = images_ok and resources.get((RT_ICON, ident)) == ico[offset:offset + isize]
        self.check(sizes == [16, 32, 48] and images_ok, f"the main icon group holds the icon's images ({sizes})")

    def bad_inputs(self):
        out_exe = os.path.join(self.folder, "bad.exe")
        with open(out_exe, "wb") as f:
            f.write(b"previous")
        cases = [
            ("load error", "x := (\n", 'Missing ")"'),
            ("missing include", "#Include lib\\nowhere.qrv\nx := 1\n", "nowhere.qrv"),
            ("missing FileInstall source", "FileInstall, ghost.bin, %A_Temp%\\ghost.bin\n",
             "FileInstall source cannot be read"),
            ("FileInstall source from a variable", "FileInstall, %name%, x.bin\n", "must be a file name written out"),
        ]
        for name, text, message in cases:
            script = self.write("bad.qrv", text)
            code, _, err = self.compile(win(script), win(out_exe))
            self.check(code == 1 and message in err, f"{name}: exit 1 with a clear message ({code}, {err!r})")
            with open(out_exe, "rb") as f:
                self.check(f.read() == b"previous", f"{name}: the existing output is left as it was")
        leftovers = [n for n in os.listdir(self.folder) if n.endswith(".tmp")]
        self.check(not leftovers, f"no temporary files are left behind ({leftovers})")

        good = win(os.path.join(self.folder, "main.qrv"))
        code, _, err = self.compile(good, "Z:\\no\\such\\folder\\out.exe")
        self.check(code == 1 and "cannot write the output file" in err, f"unwritable output: exit 1 ({err!r})")
        self.write("bad.ico", "not an icon")
        code, _, err = self.compile(good, win(out_exe), "/icon", win(os.path.join(self.folder, "bad.ico")))
        self.check(code == 1 and "not a usable .ico file" in err, f"bad icon: exit 1 ({err!r})")
        code, _, err = self.compile(win(os.path.join(self.folder, "absent.qrv")))
        self.check(code == 1 and "does not exist" in err, f"missing script: exit 1 ({err!r})")
        code, _, err = self.compile()
        self.check(code == 2 and err.startswith("usage: qrvc"), f"no arguments: usage and exit 2 ({err!r})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    tests = Tests(parser.parse_args().build_dir)
    tests.compiled_matches_interpreter()
    tests.icon_is_replaced()
    tests.bad_inputs()
    shutil.rmtree(tests.folder, ignore_errors=True)
    if tests.failures:
        print(f"{len(tests.failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
