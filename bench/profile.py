#!/usr/bin/env python3
"""Turns the samples qrv_profile.exe wrote (qrv_profile.txt) into a list of
functions and modules by share of samples:
    python3 bench/profile.py build/bin/qrv_profile.exe qrv_profile.txt
"""
import subprocess, sys, bisect, collections
exe, prof = sys.argv[1], sys.argv[2]
syms = []
for line in subprocess.run(["x86_64-w64-mingw32-nm", "-C", "--defined-only", exe], capture_output=True, text=True).stdout.splitlines():
    parts = line.split(" ", 2)
    if len(parts) == 3 and parts[1] in "tTwW":
        syms.append((int(parts[0], 16), parts[2]))
syms.sort()
addrs = [a for a, _ in syms]
lines = open(prof).read().split("\n")
base = int(lines[0].split()[1], 16)
modules = []
image_base = 0x140000000
totals = collections.Counter(); total = 0
for l in lines[1:]:
    if not l.strip(): continue
    if l.startswith("module"):
        _, b, size, name = l.split(" ", 3); modules.append((int(b,16), int(size,16), name)); continue
    rip, count = l.split(); rip = int(rip, 16); count = int(count)
    total += count
    name = None
    for b, size, m in modules:
        if b <= rip < b + size and b != base: name = "[" + m + "]"
    if name is None:
        a = rip - base + image_base
        i = bisect.bisect_right(addrs, a) - 1
        name = syms[i][1] if i >= 0 and a - addrs[i] < 0x100000 else "?unknown"
    totals[name] += count
for name, c in totals.most_common(30):
    print(f"{100*c/total:5.1f}% {name[:150]}")
