#!/usr/bin/env python3
"""Checks the dependency rule of docs/architecture.md: no source file includes
a header of a higher layer, and the stand-in includes nothing of the program
but src/common. Prints every include that points up; exit code 1 if any."""
import os
import re
import sys

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
src = os.path.join(root, 'src')
FEATURES = {'session', 'shell', 'import', 'positions', 'conditions', 'lookup'}
NAMES = ['common', 'base', 'server', 'feature logic', 'windows', 'programs']


def layer(rel):
    """Layer of a path relative to src/: 0 common, 1 base, 2 server,
    3 feature logic, 4 windows (<feature>/gui), 5 app."""
    parts = rel.split('/')
    top = parts[0]
    if top == 'common':
        return 0
    if top == 'base':
        return 1
    if top == 'server':
        return 2
    if top in FEATURES:
        return 4 if len(parts) > 2 and parts[1] == 'gui' else 3
    if top == 'app':
        return 5
    return None


include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
faults = []


def resolve(including_dir, name):
    for base in (including_dir, src):
        p = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(p) and p.startswith(src + os.sep):
            return os.path.relpath(p, src)
    return None


for top, min_layer_of_file in (('src', None), ('standin', 'standin')):
    for dirpath, _, files in os.walk(os.path.join(root, top)):
        for f in files:
            if not f.endswith(('.h', '.cpp')):
                continue
            path = os.path.join(dirpath, f)
            text = open(path, encoding='utf-8').read()
            if top == 'src':
                own = layer(os.path.relpath(path, src))
            else:
                own = 0  # the stand-in may use the common layer only
            for name in include.findall(text):
                target = resolve(dirpath, name)
                if target is None:
                    continue
                other = layer(target)
                if other is not None and own is not None and other > own:
                    faults.append('%s includes %s (%s above %s)' % (
                        os.path.relpath(path, root), name, NAMES[other],
                        'stand-in' if top == 'standin' else NAMES[own]))

for f in faults:
    print(f)
sys.exit(1 if faults else 0)
