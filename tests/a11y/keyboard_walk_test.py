"""The main window by keyboard alone (keys sent to the X server), watched on the accessibility bus:
Tab reaches every control in the template's order, the presets are one tab stop with the arrow
keys inside it, F10 opens the menus and every item of the Help menu has a key of its own, the
format list opens and takes an entry, Encode starts a run and the same button cancels it. Started
with a file, as a file manager starts it, the program then ends, and the "complete" sound of
"Beep When Done" is heard whole on the null sink. Usage: keyboard_walk_test.py PROGRAM (see
session.sh)."""
import array
import os
import signal
import subprocess
import sys
import tempfile
import wave

import bus

MAIN = 'Quillonics MPEG Layer-3 Cantrix (Summit)'
LOWEST, MODEM, ISDN, LIST = ('Nice Quality, Lowest Bitrate', 'Best Quality for 28.8 Modems',
                             'Superior Quality for ISDN', 'Format Chosen in the List')
# The freedesktop theme's "complete" lasts 1.09 s; its fades shorten what is loud.
FEWEST_LOUD_SECONDS = 0.5


def key(*names):
    subprocess.run(['xdotool', 'key', '--delay', '50', *names], check=True)


def focused(window):
    return next((a for a in bus.controls(window) if bus.states(a).contains(bus.pyatspi.STATE_FOCUSED)), None)


def expect_focus(window, name):
    def on_name():
        now = focused(window)
        return now if now is not None and bus.label_of(now) == name else None
    found = bus.wait_for('the focus on ' + name, on_name, quiet=True)
    if found is None:
        now = focused(window)
        bus.fail('the focus is on %s, not on %s' % (now and (bus.role(now), bus.label_of(now)), name))
    return found


def checked(window, name):
    return bus.find(window, 'radio button', name).getState().contains(bus.pyatspi.STATE_CHECKED)


def loud_seconds(path, window_seconds=0.01, loud_rms=0.03 * 32768):
    with wave.open(path) as recording:
        frames = array.array('h', recording.readframes(recording.getnframes()))
        size = int(recording.getframerate() * window_seconds) * recording.getnchannels()
    loud = 0
    for start in range(0, len(frames) - size, size):
        window = frames[start:start + size]
        if (sum(v * v for v in window) / size) ** 0.5 > loud_rms:
            loud += 1
    return loud * window_seconds


def main(program):
    bus.skip_without_sound_server()
    work = tempfile.mkdtemp()
    # Long enough to be cancelled by a key while it runs on any machine.
    song = bus.write_wav(os.path.join(work, 'Song.wav'), 1200)
    recording = os.path.join(work, 'recording.wav')
    recorder = subprocess.Popen(['parec', '-d', 'nullsink.monitor', '--latency-msec=50',
                                 '--file-format=wav', recording])
    process = bus.start(program, work, song)
    try:
        walk(process, song)
    finally:
        bus.stop(process)
        recorder.send_signal(signal.SIGINT)
        recorder.wait(10)
    heard = loud_seconds(recording)
    print('heard %.2f s of sound after the program ended' % heard, flush=True)
    if heard < FEWEST_LOUD_SECONDS:
        bus.fail('the "complete" sound was cut off')
    print('PASS', flush=True)


def walk(process, song):
    app = bus.application(os.path.basename(sys.argv[1]))
    window = bus.window(app, MAIN)
    bus.wait_for('the input path', lambda: bus.labelled(window, 'Input:').name == song)
    x_window = bus.wait_for('the window on the X server', lambda: subprocess.run(
        ['xdotool', 'search', '--onlyvisible', '--pid', str(process.pid), '--name', '^' + MAIN],
        capture_output=True, text=True).stdout.split())[0]
    # The window manager gives the window the focus; until it has, it is asked again.
    bus.wait_for('the window focused', lambda: subprocess.run(['xdotool', 'windowactivate', x_window],
                                                              capture_output=True) and
                 subprocess.run(['xdotool', 'getwindowfocus'], capture_output=True,
                                text=True).stdout.strip() == x_window)
    expect_focus(window, 'Select Input')

    # Tab, in the template's order, round to where it started: one stop for the presets, on the
    # checked one.
    reached = {'Select Input'}
    for name in ['Layer-3 format', 'Set Output', 'Preview', 'Encode', MODEM, 'Select Input']:
        key('Tab')
        reached.add(bus.label_of(expect_focus(window, name)))
    key('shift+Tab')
    expect_focus(window, MODEM)
    # Arrows move round the presets and check the one they reach.
    for arrow, name in [('Down', ISDN), ('Right', LIST), ('Down', LOWEST), ('Up', LIST), ('Left', ISDN),
                        ('Up', MODEM), ('Up', LOWEST)]:
        key(arrow)
        reached.add(bus.label_of(expect_focus(window, name)))
        bus.wait_for(name + ' checked', lambda: checked(window, name))
    everything = {bus.label_of(c) for c in bus.controls(window) if bus.role(c) != 'menu item' and
                  bus.role(c) != 'progress bar'}
    if reached != everything:
        bus.fail('the keyboard reached %s of %s' % (sorted(reached), sorted(everything)))
    output_format = next(a for a in bus.walk(window) if a.description == 'Output format')
    combo = bus.find(window, 'combo box')
    bus.wait_for('the lowest preset applied', lambda: output_format.name == combo.name)

    # F10 opens the menus; in the Help menu "c" is the program's About box, "d" the codec's.
    for letter, title in [('c', 'About MPEG Layer-3 Cantrix'), ('d', 'About Quillonics MPEG Layer-3 ACM Audio Codec')]:
        key('F10')
        bus.wait_for('the File menu open', lambda: bus.showing(bus.find(window, 'menu item', 'Select Input File')))
        key('Left')
        bus.wait_for('the Help menu open', lambda: bus.showing(bus.find(window, 'menu item', 'Using Help...')))
        key(letter)
        bus.window(app, title)
        key('Return')
        bus.wait_gone(app, title)
        expect_focus(window, LOWEST)

    # The format list: opened from the keyboard, an entry taken, and with it its preset.
    key('Tab', 'Tab')
    expect_focus(window, 'Layer-3 format')
    before = combo.name
    key('alt+Down')
    bus.wait_for('the list open', lambda: bus.showing(combo[0]))
    key('Down', 'Return')
    bus.wait_for('an entry taken', lambda: combo.name != before and checked(window, LIST))
    bus.wait_for('its format shown', lambda: output_format.name == combo.name)

    # Encode and CANCEL; the program then ends, as it was started with a file.
    for name in [LIST, 'Set Output', 'Preview', 'Encode']:
        key('Tab')
        encode = expect_focus(window, name)
    key('space')
    bus.wait_for('the run to start', lambda: encode.name == 'CANCEL')
    key('space')
    if process.wait(bus.LIMIT) != 0:
        bus.fail('exit status %d' % process.returncode)


if __name__ == '__main__':
    main(sys.argv[1])
