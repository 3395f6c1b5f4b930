"""What the accessibility walks share: the program under test on the accessibility bus (AT-SPI,
what screen readers read), found and driven through python3-pyatspi. Every wait polls for the
state it needs, pumping the bus's events meanwhile, up to a generous limit."""
import math
import os
import shutil
import struct
import subprocess
import sys
import time
import wave

import pyatspi
from gi.repository import Atspi, GLib

LIMIT = 60  # seconds any awaited state may take on a loaded machine
SKIPPED = 77

# Controls a user works; each needs a name. Items of lists and tables are named by their content.
CONTROL_ROLES = {'push button', 'toggle button', 'radio button', 'check box', 'combo box', 'text',
                 'link', 'menu item', 'spin button', 'slider', 'progress bar', 'list', 'tree',
                 'tree table', 'table', 'page tab'}
ITEM_ROLES = {'list item', 'table cell', 'table column header', 'table row header', 'tree item'}

events = []


def fail(message):
    print('FAIL: ' + message, flush=True)
    sys.exit(1)


def skip_without_sound_server():
    if subprocess.run(['pactl', 'list', 'short', 'sinks'], capture_output=True, text=True).stdout.find('nullsink') < 0:
        print('skipped: no private sound server', flush=True)
        sys.exit(SKIPPED)


def pump():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def wait_for(what, probe, limit=LIMIT, quiet=False):
    """Polls `probe` until it returns something true, and returns that; on time-out fails, or
    returns None when `quiet`."""
    deadline = time.monotonic() + limit
    while True:
        pump()
        try:
            found = probe()
        except Exception:  # an object that went away under the query
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            if quiet:
                return None
            fail('timed out waiting for ' + what)
        time.sleep(0.02)


def listen(kind):
    """Records the bus's events of `kind` (as source, description) in `events`."""
    def record(event):
        try:
            events.append((kind, event.source, event.source.description))
        except Exception:
            events.append((kind, event.source, None))
    pyatspi.Registry.registerEventListener(record, kind)


def write_wav(path, seconds, rate=44100):
    """A 16-bit stereo sine of 440 Hz."""
    second = b''.join(struct.pack('<hh', v, v) for v in
                      (int(12000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(rate)))
    with wave.open(path, 'wb') as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(rate)
        for _ in range(seconds):
            out.writeframes(second)
    return path


def start(program, work, *arguments):
    """Runs the program with options of its own, its accessibility bridge on."""
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb',
               XDG_CONFIG_HOME=os.path.join(work, 'config'))
    return subprocess.Popen([program, *arguments], cwd=work, env=env)


def application(name):
    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        # The desktop's list of applications is cached; one that started since may be missing.
        desktop.clear_cache()
        return next((a for a in desktop if a is not None and a.name == name), None)
    app = wait_for(name + ' on the bus', look)
    # Every question goes to the program: a cache is kept up to date only by the events of the
    # kinds that someone listens to.
    app.set_cache_mask(Atspi.Cache.NONE)
    return app


def role(acc):
    return acc.getRoleName()


def states(acc):
    return acc.getState()


def showing(acc):
    return states(acc).contains(pyatspi.STATE_SHOWING)


def walk(acc):
    yield acc
    for child in acc:
        if child is not None:
            yield from walk(child)


def find(root, kind, name=None):
    return next((a for a in walk(root) if role(a) == kind and (name is None or a.name == name)), None)


def window(app, name):
    return wait_for('window ' + name, lambda: next(
        (w for w in app if w is not None and w.name == name and showing(w)), None))


def wait_gone(app, name):
    wait_for(name + ' to close', lambda: all(w.name != name or not showing(w) for w in app if w is not None))


def related(acc, relation):
    for rel in acc.getRelationSet():
        if rel.getRelationType() == relation:
            return [rel.getTarget(i) for i in range(rel.getNTargets())]
    return []


def label_of(acc):
    """The name a screen reader gives a control: its label's, else its own."""
    labels = related(acc, pyatspi.RELATION_LABELLED_BY)
    return labels[0].name if labels else acc.name


def labelled(root, label):
    """The control that the label `label` stands for."""
    return related(find(root, 'label', label), pyatspi.RELATION_LABEL_FOR)[0]


def value(acc):
    return acc.queryValue().currentValue


def act(acc, action='Press', opens_modal=False):
    """Runs one of the control's actions. One that opens a modal dialog answers only once that has
    closed, so its answer is not awaited."""
    actions = acc.queryAction()
    index = next(i for i in range(actions.nActions) if actions.getName(i) == action)
    if not opens_modal:
        actions.doAction(index)
        return
    pyatspi.setTimeout(300, 300)
    try:
        actions.doAction(index)
    except GLib.GError:
        pass
    finally:
        pyatspi.setTimeout(25000, 60000)


def controls(root):
    """The showing controls below `root`, without the entries of drop-down lists."""
    found = []

    def visit(acc):
        if not showing(acc):
            return
        if role(acc) in CONTROL_ROLES or (states(acc).contains(pyatspi.STATE_FOCUSABLE) and
                                          role(acc) not in ITEM_ROLES):
            found.append(acc)
        if role(acc) != 'combo box':
            for child in acc:
                if child is not None:
                    visit(child)
    visit(root)
    return found


def check_controls(window_name, root, expected):
    """Every control below `root` has a name a screen reader can read; each of `expected`
    (name: role) is there with its role."""
    listed = {}
    for acc in controls(root):
        name = label_of(acc)
        print('  %-14s %s' % (role(acc), name), flush=True)
        if not name:
            fail('%s: a %s without a name' % (window_name, role(acc)))
        listed.setdefault(name, role(acc))
    for name, kind in expected.items():
        if listed.get(name) != kind:
            fail('%s: "%s" is %s, not a %s' % (window_name, name, listed.get(name, 'missing'), kind))


def stop(process):
    if process.poll() is None:
        process.terminate()
        process.wait(10)


def has(tool):
    return shutil.which(tool) is not None
