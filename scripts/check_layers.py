#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

Each folder may include itself and the folders listed for it; the Qt-free
folders may not include Qt either. Run from anywhere: scripts/check_layers.py
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

PG_CORE = ['pgraphic/core']
PG = ['pgraphic/core', 'pgraphic/formats', 'pgraphic/filters', 'pgraphic/rows']
# folder: (folders it may include besides itself, Qt allowed)
RULES = {
    'pgraphic/core': ([], False),
    'pgraphic/formats': (PG_CORE, False),
    'pgraphic/filters': (PG_CORE, False),
    'pgraphic/rows': (['pgraphic/core', 'pgraphic/formats'], False),
    'platform': (PG_CORE, True),
    'pgraphic_qt/view': (PG + ['platform'], True),
    'pgraphic_qt/filterdialogs': (PG + ['platform', 'pgraphic_qt/view'], True),
    'widgets': (PG + ['platform', 'pgraphic_qt/view'], True),
    'app/common': (PG, False),
    'app/cut': (PG + ['app/common'], False),
    'app/export': (PG + ['app/common', 'app/cut'], False),
    'app/ui': (PG + ['platform', 'pgraphic_qt/view', 'pgraphic_qt/filterdialogs', 'widgets',
                     'app/common', 'app/cut', 'app/export'], True),
    'cli': (PG + ['app/common', 'app/cut', 'app/export'], False),
}
# Folders of the project whose headers are checked against the rules; an
# include of anything else in quotes must be a header of the same folder.
PROJECT = sorted(RULES, key=len, reverse=True)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT = re.compile(r'^(Q[A-Za-z]|Qt[A-Za-z]*/|qt[a-z]*/)')


def folder_of(path):
    for f in PROJECT:
        if path == f or path.startswith(f + '/'):
            return f
    return None


def main():
    problems = []
    for f in PROJECT:
        allowed, qt = RULES[f]
        base = os.path.join(ROOT, f)
        if not os.path.isdir(base):
            problems.append(f'{f}/: folder missing')
            continue
        for dirpath, _, names in os.walk(base):
            for name in sorted(names):
                if not name.endswith(('.h', '.cpp')):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, ROOT)
                if folder_of(rel) != f:
                    continue
                with open(path, encoding='utf-8') as src:
                    for n, line in enumerate(src, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, header = m.groups()
                        if kind == '<':
                            if not qt and QT.match(header):
                                problems.append(f'{rel}:{n}: Qt header <{header}> in a Qt-free layer')
                            continue
                        target = folder_of(header)
                        if target is None:
                            if '/' in header:
                                problems.append(f'{rel}:{n}: "{header}" is no header of a known layer')
                            continue
                        if target != f and target not in allowed:
                            problems.append(f'{rel}:{n}: "{header}" runs up from {f}/ to {target}/')
    for p in problems:
        print(p)
    if problems:
        print(f'{len(problems)} include(s) against the layers')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
