#!/usr/bin/env python3
"""Checks the dependency rule of docs/architecture.md:
- no source file includes a header of a higher layer;
- a feature's logic includes the logic of its own folder or of a feature
  before it in FEATURE_ORDER, never of one after it (so the features have no
  include cycle);
- a feature's windows include the windows of their own folder or of a
  feature before it in WINDOW_ORDER, and the logic of their own feature or
  of one before it in FEATURE_ORDER; the main window's feature (shell) is
  the last of WINDOW_ORDER and its windows may use every feature's logic:
  they open every other window. A window that must reach a later feature
  does so through an opener interface that the top implements or hands on;
- src/widgets (what every window uses) includes no window;
- the stand-in includes nothing of the program but src/common;
- project headers are included with quotes, never with angle brackets;
- below the windows (and in the stand-in) no header of Qt's widget modules
  (QtWidgets, QtPrintSupport, QtOpenGLWidgets) is included;
- no source file of src/ or standin/ but the ERP contract (src/common/erp)
  writes the name of an ERP class in a string literal (comments may).
Prints every fault, sorted; exit code 1 if any. --root DIR checks another
tree of the same folders (the tests give it one with faults)."""
import glob
import os
import re
import sys

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
if len(sys.argv) == 3 and sys.argv[1] == '--root':
    root = os.path.abspath(sys.argv[2])
elif len(sys.argv) != 1:
    print('usage: check-layers.py [--root DIR]', file=sys.stderr)
    sys.exit(2)
src = os.path.join(root, 'src')
# The feature folders, lowest first: each may use those before it.
FEATURE_ORDER = ['session', 'shell', 'lookup', 'import', 'positions', 'conditions']
FEATURES = set(FEATURE_ORDER)
# The windows in the same order, but the main window's feature at the top.
TOP_WINDOWS = 'shell'
WINDOW_ORDER = [f for f in FEATURE_ORDER if f != TOP_WINDOWS] + [TOP_WINDOWS]
NAMES = ['common', 'base', 'server', 'feature logic', 'widgets', 'windows', 'programs']
WINDOWS = 5
WIDGET_MODULES = ('QtWidgets', 'QtPrintSupport', 'QtOpenGLWidgets')


def qt_include_dir():
    """Qt 6's header folder: QT6_INCLUDE_DIR, else where Debian puts it."""
    candidates = [os.environ.get('QT6_INCLUDE_DIR', '')]
    candidates += sorted(glob.glob('/usr/include/*/qt6')) + ['/usr/include/qt6']
    for d in candidates:
        if d and os.path.isdir(os.path.join(d, 'QtCore')):
            return d
    return None


def widget_headers():
    """Class headers of the widget modules (QWidget, QPrinter ...)."""
    base = qt_include_dir()
    if base is None:
        faults.append("Qt 6's headers not found (set QT6_INCLUDE_DIR): the widget "
                      "headers cannot be told apart")
        return set()
    names = set()
    for module in WIDGET_MODULES:
        d = os.path.join(base, module)
        if os.path.isdir(d):
            names.update(f for f in os.listdir(d) if not f.endswith('.h'))
    return names


def layer(rel):
    """Layer of a path relative to src/: 0 common, 1 base, 2 server,
    3 feature logic, 4 widgets, 5 windows (<feature>/gui), 6 app."""
    parts = rel.split('/')
    top = parts[0]
    if top == 'common':
        return 0
    if top == 'base':
        return 1
    if top == 'server':
        return 2
    if top in FEATURES:
        return WINDOWS if len(parts) > 2 and parts[1] == 'gui' else 3
    if top == 'widgets':
        return 4
    if top == 'app':
        return 6
    return None


quoted = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
angled = re.compile(r'^\s*#\s*include\s+<([^>]+)>', re.M)
roots = [src] + [os.path.join(root, *d) for d in (('standin', 'lib'), ('standin', 'store'),
                                                  ('tests', 'support'))]
faults = []

# A class name of the ERP as the contract writes it: u"quendrap.pos".
erp_class_name = re.compile(r'u"([A-Za-z%]+\.[A-Za-z0-9_.]+)"')
string_literal = re.compile(r'"(?:[^"\\\n]|\\.)*"')
line_comment = re.compile(r'//[^\n]*')
block_comment = re.compile(r'/\*.*?\*/', re.S)


def erp_class_names():
    """The class names of the ERP contract (src/common/erp/*.h)."""
    names = set()
    for path in glob.glob(os.path.join(src, 'common', 'erp', '*.h')):
        names.update(erp_class_name.findall(open(path, encoding='utf-8').read()))
    return names


def check_erp_names(path, text, names):
    if not names or os.path.dirname(path) == os.path.join(src, 'common', 'erp'):
        return
    code = line_comment.sub('', block_comment.sub('', text))
    written = set()
    for literal in string_literal.findall(code):
        for name in names:
            if re.search(r'(?<![\w.])' + re.escape(name) + r'(?![\w])', literal):
                written.add(name)
    for name in sorted(written):
        faults.append('%s writes the ERP class name %s (src/common/erp names it)' % (
            os.path.relpath(path, root), name))


def resolve(including_dir, name):
    for base in (including_dir, src):
        p = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(p) and p.startswith(src + os.sep):
            return os.path.relpath(p, src)
    return None


def is_project_header(name):
    return any(os.path.isfile(os.path.join(r, name)) for r in roots)


def is_widget_header(name, widgets):
    module = name.split('/')[0]
    return module in WIDGET_MODULES or name in widgets


def check_feature_order(path, own_rel, own, target, other):
    """own and other: the layers of the including file and of the target."""
    own_feature, other_feature = own_rel.split('/')[0], target.split('/')[0]
    if own_feature not in FEATURES or other_feature not in FEATURES:
        return
    if own_feature == other_feature:
        return
    if other == WINDOWS:
        order = WINDOW_ORDER
    elif own == WINDOWS and own_feature == TOP_WINDOWS:
        return
    else:
        order = FEATURE_ORDER
    if order.index(other_feature) > order.index(own_feature):
        faults.append('%s includes %s (feature %s comes after %s)' % (
            os.path.relpath(path, root), target, other_feature, own_feature))


def check_file(top, path, widgets, names):
    text = open(path, encoding='utf-8').read()
    check_erp_names(path, text, names)
    dirpath = os.path.dirname(path)
    rel = os.path.relpath(path, src) if top == 'src' else None
    own = layer(rel) if top == 'src' else 0  # the stand-in may use common only
    for name in quoted.findall(text):
        target = resolve(dirpath, name)
        if target is None:
            continue
        other = layer(target)
        if other is not None and own is not None and other > own:
            faults.append('%s includes %s (%s above %s)' % (
                os.path.relpath(path, root), name, NAMES[other],
                'stand-in' if top == 'standin' else NAMES[own]))
        elif top == "src" and own in (3, WINDOWS) and other in (3, WINDOWS):
            check_feature_order(path, rel, own, target, other)
    for name in angled.findall(text):
        if is_project_header(name):
            faults.append('%s includes the project header <%s> with angle brackets' % (
                os.path.relpath(path, root), name))
        elif (own is not None and own < 4) and is_widget_header(name, widgets):
            faults.append('%s includes <%s> of a widget module below the windows' % (
                os.path.relpath(path, root), name))


def main():
    widgets = widget_headers()
    names = erp_class_names()
    for top in ('src', 'standin'):
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for f in files:
                if f.endswith(('.h', '.cpp')):
                    check_file(top, os.path.join(dirpath, f), widgets, names)
    for f in sorted(faults):
        print(f)
    return 1 if faults else 0


sys.exit(main())
