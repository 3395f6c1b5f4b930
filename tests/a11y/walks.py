"""The program as screen readers (the accessibility bus, AT-SPI) and the keyboard alone meet it.
Usage, inside session.sh: walks.py bus|keyboard PROGRAM. Every wait polls for its state."""
import array, math, os, signal, struct, subprocess, sys, tempfile, time, wave

import pyatspi
from gi.repository import Atspi, GLib

MAIN = 'Quillonics MPEG Layer-3 Cantrix (Summit)'
LOWEST, MODEM, ISDN, LIST = ('Nice Quality, Lowest Bitrate', 'Best Quality for 28.8 Modems',
                             'Superior Quality for ISDN', 'Format Chosen in the List')
MAIN_CONTROLS = dict({'Encode': 'push button', 'Select Input': 'push button', 'Set Output': 'push button',
                      'Preview': 'push button', 'Conversion progress': 'progress bar',
                      'Layer-3 format': 'combo box'},
                     **{preset: 'radio button' for preset in (LOWEST, MODEM, ISDN, LIST)})
ABOUT, CODEC_ABOUT = 'About MPEG Layer-3 Cantrix', 'About Quillonics MPEG Layer-3 ACM Audio Codec'
HELP_LINKS = ['Converting a file, step by step', 'The window', 'Quality presets and the format list',
              'How the output file is named', 'Options', 'Messages', 'Converting from a terminal']
CONTROL_ROLES = {'push button', 'radio button', 'check box', 'combo box', 'text', 'link', 'menu item',
                 'progress bar', 'list', 'tree', 'table'}
ITEM_ROLES = {'list item', 'table cell', 'table column header'}  # named by their content
# Seconds of input: a run that shows progress on any machine; for the keyboard, one long enough
# to be cancelled by a key.
SECONDS = {'bus': 300, 'keyboard': 1200}


def fail(message):
    sys.exit('FAIL: ' + message)


def wait(what, probe, quiet=False):
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            found = probe()
        except Exception:  # an object gone under the query
            found = None
        if found:
            return found
        time.sleep(0.02)
    return None if quiet else fail('timed out waiting for ' + what)


def walk(acc):
    yield acc
    for child in acc:
        yield from walk(child)


def find(root, role, name=None):
    return next((a for a in walk(root) if a.getRoleName() == role and name in (None, a.name)), None)


def has(acc, state):
    return acc.getState().contains(state)


def related(acc, relation):
    return next(([r.getTarget(i) for i in range(r.getNTargets())] for r in acc.getRelationSet()
                 if r.getRelationType() == relation), [])


def label_of(acc):
    """The name a screen reader gives a control: its label's, else its own."""
    labels = related(acc, pyatspi.RELATION_LABELLED_BY)
    return labels[0].name if labels else acc.name


def labelled(root, label):
    return related(find(root, 'label', label), pyatspi.RELATION_LABEL_FOR)[0]


def controls(root):
    """The showing controls below `root`, not looking into drop-down lists."""
    if not has(root, pyatspi.STATE_SHOWING):
        return []
    role = root.getRoleName()
    control = role in CONTROL_ROLES or (has(root, pyatspi.STATE_FOCUSABLE) and role not in ITEM_ROLES)
    own = [root] if control else []
    return own + ([] if role == 'combo box' else [c for child in root for c in controls(child)])


def check_controls(title, root, expected):
    print(title + ':')
    listed = {}
    for acc in controls(root):
        print('  %-14s %s' % (acc.getRoleName(), label_of(acc)))
        if not label_of(acc):
            fail('%s: a %s without a name' % (title, acc.getRoleName()))
        listed.setdefault(label_of(acc), acc.getRoleName())
    for name, role in expected.items():
        if listed.get(name) != role:
            fail('%s: "%s" is %s, not a %s' % (title, name, listed.get(name, 'missing'), role))


def act(acc, opens_modal=False):
    """Presses the control. The answer to one that opens a modal dialog comes only once that has
    closed, so it is not awaited."""
    pyatspi.setTimeout(300 if opens_modal else 25000, -1)
    try:
        acc.queryAction().doAction(0)
    except GLib.GError:
        if not opens_modal:
            raise


def start(program, work, seconds, *arguments):
    """Writes Song.wav, a tone of `seconds`, and runs the program with options of its own and
    its bridge to the bus on; returns it and its application on the bus."""
    second = b''.join(struct.pack('<hh', v, v) for v in
                      (int(12000 * math.sin(2 * math.pi * 440 * i / 44100)) for i in range(44100)))
    with wave.open(os.path.join(work, 'Song.wav'), 'wb') as song:
        song.setparams((2, 2, 44100, 0, 'NONE', ''))
        for _ in range(seconds):
            song.writeframes(second)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb',
               XDG_CONFIG_HOME=os.path.join(work, 'config'))
    process = subprocess.Popen([program, *arguments], cwd=work, env=env)

    def on_bus():
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.clear_cache()  # the list of applications, which a new one joins
        return next((a for a in desktop if a is not None and a.name == os.path.basename(program)), None)
    app = wait('the program on the bus', on_bus)
    app.set_cache_mask(Atspi.Cache.NONE)  # every question goes to the program itself
    return process, app


def window(app, title):
    return wait(title, lambda: next(w for w in app if w.name == title and has(w, pyatspi.STATE_SHOWING)))


def gone(app, title):
    wait(title + ' closed', lambda: all(w.name != title or not has(w, pyatspi.STATE_SHOWING) for w in app))


def bus_walk(process, app, work):
    """Every control of every window has a name and its role; the paths read; the help's links
    work; the preview's status and a run's progress (in percent) and end are heard."""
    song = os.path.join(work, 'Song.wav')
    main = window(app, MAIN)
    check_controls('main window', main, MAIN_CONTROLS)
    act(find(main, 'push button', 'Select Input'), opens_modal=True)
    chooser = window(app, 'Open')
    check_controls('input chooser', chooser, {'PLAY': 'push button', 'STOP': 'push button',
                                              'File name:': 'text', 'Open': 'push button'})
    find(chooser, 'text', 'File name:').queryEditableText().setTextContents(song)
    wait('the readout', lambda: labelled(chooser, 'Format:').name == '44100 Hz Stereo')
    open_button = find(chooser, 'push button', 'Open')
    wait('Open enabled', lambda: has(open_button, pyatspi.STATE_ENABLED))
    act(open_button)
    wait('the input path', lambda: labelled(main, 'Input:').name == song)
    if labelled(main, 'Output:').name != os.path.join(work, 'Song Layer-3.wav'):
        fail('the output path reads ' + labelled(main, 'Output:').name)
    check_controls('main window with an input', main, MAIN_CONTROLS)

    for item, title, role in [(ABOUT, ABOUT, 'dialog'),
                              ('About MPEG Layer-3 Audio Codec', CODEC_ABOUT, 'alert')]:
        act(find(main, 'menu item', item), opens_modal=True)
        box = window(app, title)
        check_controls(title, box, {'OK': 'push button'})
        if box.getRoleName() != role:
            fail('%s is a %s' % (title, box.getRoleName()))
        act(find(box, 'push button', 'OK'))
        gone(app, title)

    act(find(main, 'menu item', 'Using Cantrix...'))
    help_window = window(app, 'Using MPEG Layer-3 Cantrix')
    check_controls('help window', help_window, {link: 'link' for link in HELP_LINKS})
    page = find(help_window, 'label', 'Using MPEG Layer-3 Cantrix')
    if 'Converting a file, step by step' not in page.queryText().getText(0, -1):
        fail('the help page\'s text is not on the bus')
    scroll = next(a for a in walk(help_window)
                  if a.getRoleName() == 'scroll bar' and has(a, pyatspi.STATE_SHOWING))
    act(find(help_window, 'link', HELP_LINKS[-1]))
    wait('the link followed', lambda: scroll.queryValue().currentValue > 0)

    act(find(main, 'push button', 'Preview'), opens_modal=True)
    preview = window(app, 'Compression Preview')
    check_controls('preview', preview, {'Cancel': 'push button', 'Preview progress': 'progress bar'})
    cancel = find(preview, 'push button', 'Cancel')  # it holds the focus: its description is heard
    wait('"Status: Playing..." announced', lambda: cancel.description == 'Status: Playing...')
    act(cancel)
    gone(app, 'Compression Preview')

    bar = find(main, 'progress bar', 'Conversion progress')
    announced = []
    pyatspi.Registry.registerEventListener(lambda event: announced.append(event.source.description),
                                           'object:property-change:accessible-description')
    encode = find(main, 'push button', 'Encode')
    act(encode)
    wait('the run', lambda: encode.name == 'CANCEL')
    percents = []
    wait('the end of the run',
         lambda: percents.append(bar.queryValue().currentValue) or encode.name == 'Encode')
    if not 0 < max(percents) <= 100 or bar.queryValue().maximumValue != 100:
        fail('progress read as %s of %s' % (max(percents), bar.queryValue().maximumValue))
    wait('the end announced', lambda: 'Conversion finished' in announced)
    print('progress seen up to %d%%, then "%s"' % (max(percents), bar.description))
    act(find(main, 'menu item', 'Exit'))


def keyboard_walk(process, app, work):
    """Tab and the arrows reach every control, F10 and the Help menu's keys work, the format list
    takes an entry, Encode starts and CANCEL stops a run; the program started with a file then
    ends, with the "complete" sound heard whole."""
    recording = os.path.join(work, 'recording.wav')
    recorder = subprocess.Popen(['parec', '-d', 'nullsink.monitor', '--file-format=wav', recording])
    main = window(app, MAIN)
    wait('the input', lambda: has(find(main, 'push button', 'Encode'), pyatspi.STATE_ENABLED))
    x_window = wait('the X window', lambda: subprocess.run(
        ['xdotool', 'search', '--onlyvisible', '--pid', str(process.pid), '--name', '^' + MAIN],
        capture_output=True, text=True).stdout.split())[0]


    def focus_window():  # asked again until the window manager has given it the focus
        subprocess.run(['xdotool', 'windowactivate', x_window])
        focused = subprocess.run(['xdotool', 'getwindowfocus'], capture_output=True, text=True)
        return focused.stdout.strip() == x_window
    wait('the window focused', focus_window)

    def keys(*names, focus=None):
        """Types `names`; then waits for the focus on the control `focus` and returns it."""
        if names:
            subprocess.run(['xdotool', 'key', '--delay', '50', *names], check=True)
        focused = wait('the focus on %s' % focus, lambda: [c for c in controls(main) if has(
            c, pyatspi.STATE_FOCUSED) and label_of(c) == focus], quiet=True) if focus else [None]
        return focused[0] if focused else fail('the focus never reached ' + focus)

    def checked(name):
        return has(find(main, 'radio button', name), pyatspi.STATE_CHECKED)

    reached = {label_of(keys(focus='Select Input'))}
    for name in ['Layer-3 format', 'Set Output', 'Preview', 'Encode', MODEM, 'Select Input']:
        reached.add(label_of(keys('Tab', focus=name)))
    keys('shift+Tab', focus=MODEM)
    for arrow, name in [('Down', ISDN), ('Right', LIST), ('Down', LOWEST), ('Up', LIST), ('Left', ISDN),
                        ('Up', MODEM), ('Up', LOWEST)]:
        reached.add(label_of(keys(arrow, focus=name)))
        wait(name + ' checked', lambda: checked(name))
    everything = {label_of(c) for c in controls(main) if c.getRoleName() not in ('menu item', 'progress bar')}
    if reached != everything:
        fail('the keyboard reached %s of %s' % (sorted(reached), sorted(everything)))
    shown = next(a for a in walk(main) if a.description == 'Output format')
    combo = find(main, 'combo box')
    wait('the lowest preset shown', lambda: shown.name == combo.name)

    for letter, title in [('c', ABOUT), ('d', CODEC_ABOUT)]:
        keys('F10')
        wait('the File menu',
             lambda: has(find(main, 'menu item', 'Select Input File'), pyatspi.STATE_SHOWING))
        keys('Left')
        wait('the Help menu', lambda: has(find(main, 'menu item', 'Using Help...'), pyatspi.STATE_SHOWING))
        keys(letter)
        window(app, title)
        keys('Return')
        gone(app, title)

    keys('Tab', 'Tab', focus='Layer-3 format')
    before = combo.name
    keys('alt+Down')
    wait('the list open', lambda: has(combo[0], pyatspi.STATE_SHOWING))
    keys('Down', 'Return')
    wait('an entry taken', lambda: combo.name != before and checked(LIST) and shown.name == combo.name)
    for name in [LIST, 'Set Output', 'Preview', 'Encode']:
        encode = keys('Tab', focus=name)
    keys('space')
    wait('the run', lambda: encode.name == 'CANCEL')
    keys('space')
    process.wait(60)  # it ends after its first run
    recorder.send_signal(signal.SIGINT)
    recorder.wait(10)

    with open(os.path.join(work, 'Song Layer-3.wav'), 'rb') as output:
        head = output.read(4096)
    per_second = struct.unpack_from('<I', head, head.index(b'fmt ') + 16)[0]
    written = struct.unpack_from('<I', head, head.index(b'data') + 4)[0]
    if not 0 < written < per_second * SECONDS['keyboard'] / 2:
        fail('not cancelled: %d bytes of Layer-3 data' % written)
    with wave.open(recording) as heard:
        samples = array.array('h', heard.readframes(heard.getnframes()))
    window_size = 882  # 10 ms of stereo
    loud = sum(1 for at in range(0, len(samples) - window_size, window_size)
               if math.sqrt(sum(v * v for v in samples[at:at + window_size]) / window_size) > 1000)
    print('heard %.2f s of sound after the end' % (loud / 100))
    if loud < 50:  # the freedesktop "complete" lasts 1.09 s, fades included
        fail('the "complete" sound was cut off')


if __name__ == '__main__':
    sinks = subprocess.run(['pactl', 'list', 'short', 'sinks'], capture_output=True, text=True)
    if 'nullsink' not in sinks.stdout:
        print('skipped: no private sound server')
        sys.exit(77)
    keyboard = sys.argv[1] == 'keyboard'
    work = tempfile.mkdtemp()
    # Started with a file, as a file manager starts it, for the keyboard.
    process, app = start(sys.argv[2], work, SECONDS[sys.argv[1]],
                         *([os.path.join(work, 'Song.wav')] if keyboard else []))
    try:
        (keyboard_walk if keyboard else bus_walk)(process, app, work)
        if process.wait(60) != 0:
            fail('exit status %d' % process.returncode)
    finally:
        if process.poll() is None:
            process.kill()
    print('PASS')
