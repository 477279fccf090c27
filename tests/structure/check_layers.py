#!/usr/bin/env python3
"""Checks that the source folders form one-way layers.

The layers are declared in src/CMakeLists.txt, one `qrv_add_layer(folder
lower...)` or `qrv_add_subsystem(folder)` line each; a subsystem builds on
`objects`, and `${QRV_SUBSYSTEMS}` in a layer line stands for every
subsystem declared before it. A file in a folder may include headers of its own
folder and of the folders its layer builds on, directly or through them;
any other project include points up or sideways and fails the check. A
folder under src/ with no layer line would not be built, so it fails too.

Usage: check_layers.py [SOURCE_ROOT]   (default: the checkout's src/)
Exit code 0 when the layers hold, 1 with one line per fault otherwise.
"""
import pathlib
import re
import sys

LAYER_LINE = re.compile(r'^\s*qrv_add_(layer|subsystem)\(\s*(\w+)((?:\s+[\w${}]+)*)\s*\)', re.M)
INCLUDE_LINE = re.compile(r'^\s*#\s*include\s+"(\w+)/[^"]+"', re.M)


def read_layers(src):
    text = (src / 'CMakeLists.txt').read_text()
    layers, subsystems = {}, []
    for m in LAYER_LINE.finditer(text):
        kind, name, lower = m.group(1), m.group(2), m.group(3).split()
        if kind == 'subsystem':
            layers[name] = ['objects']
            subsystems.append(name)
            continue
        expanded = []
        for item in lower:
            expanded.extend(subsystems if item == '${QRV_SUBSYSTEMS}' else [item])
        layers[name] = expanded
    return layers


def reachable(layers, folder):
    seen, todo = set(), list(layers.get(folder, []))
    while todo:
        lower = todo.pop()
        if lower not in seen:
            seen.add(lower)
            todo.extend(layers.get(lower, []))
    return seen


def faults(src):
    layers = read_layers(src)
    found = []
    for folder in sorted(p.name for p in src.iterdir() if p.is_dir()):
        if folder not in layers:
            found.append(f'src/{folder}/: no qrv_add_layer line in src/CMakeLists.txt, so it is not built')
    for folder in sorted(layers):
        allowed = reachable(layers, folder) | {folder}
        for path in sorted((src / folder).rglob('*')):
            if path.suffix not in ('.h', '.cpp'):
                continue
            for m in INCLUDE_LINE.finditer(path.read_text(errors='replace')):
                target = m.group(1)
                if target in layers and target not in allowed:
                    line = path.read_text(errors='replace').count('\n', 0, m.start()) + 1
                    found.append(f'{path.relative_to(src.parent)}:{line}: includes "{target}/", '
                                 f'which is not below the {folder} layer')
    return found


def main():
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2] / 'src'
    found = faults(src)
    for fault in found:
        print(fault)
    if found:
        print(f'{len(found)} layer fault(s)')
        return 1
    print('layers hold')
    return 0


if __name__ == '__main__':
    sys.exit(main())
