#!/usr/bin/env python3
"""Shows that the layer check catches what it must: an upward include, a
sideways include between sibling subsystems, and an unlisted folder; and
that it passes a tree whose includes all point down."""
import pathlib
import subprocess
import sys
import tempfile

CHECK = pathlib.Path(__file__).resolve().parent / 'check_layers.py'
CMAKE = '''qrv_add_layer(base)
qrv_add_layer(values base)
qrv_add_layer(objects values)
qrv_add_subsystem(gui)
qrv_add_subsystem(system)
qrv_add_layer(app ${QRV_SUBSYSTEMS})
'''
CASES = [
    # (name, files {path: text}, expected exit code, text the report must hold)
    ('downward includes pass', {'app/a.cpp': '#include "gui/g.h"\n#include "system/s.h"\n#include "base/b.h"\n',
                                'gui/g.cpp': '#include "objects/o.h"\n#include "values/v.h"\n'}, 0, 'layers hold'),
    ('upward include fails', {'values/v.cpp': '#include "base/b.h"\n#include "app/a.h"\n'}, 1,
     'src/values/v.cpp:2: includes "app/"'),
    ('sibling include fails', {'gui/g.cpp': '#include "system/s.h"\n'}, 1, 'src/gui/g.cpp:1: includes "system/"'),
    ('unlisted folder fails', {'text/t.cpp': '#include "base/b.h"\n'}, 1, 'src/text/: no qrv_add_layer line'),
]


def run_case(files):
    with tempfile.TemporaryDirectory() as root:
        src = pathlib.Path(root) / 'src'
        for folder in ('base', 'values', 'objects', 'gui', 'system', 'app'):
            (src / folder).mkdir(parents=True)
        (src / 'CMakeLists.txt').write_text(CMAKE)
        for path, text in files.items():
            (src / path).parent.mkdir(parents=True, exist_ok=True)
            (src / path).write_text(text)
        done = subprocess.run([sys.executable, str(CHECK), str(src)], capture_output=True, text=True)
        return done.returncode, done.stdout


def main():
    failed = 0
    for name, files, code, text in CASES:
        got_code, out = run_case(files)
        if got_code != code or text not in out:
            failed += 1
            print(f'FAIL {name}: exit {got_code} (wanted {code}), output:\n{out}')
        else:
            print(f'ok   {name}')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
