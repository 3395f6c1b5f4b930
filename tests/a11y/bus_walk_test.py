"""The program as a screen reader meets it, on the accessibility bus alone: every control of the
main window, the input chooser, the About boxes, the help window and the preview has a name and
its role; the loaded input and output paths can be read; a run started by the Encode button's
action reports its progress in percent and announces its end; the help page's links can be
followed. Usage: bus_walk_test.py PROGRAM (inside a virtual X server, a session bus and a private
sound server: see session.sh)."""
import os
import sys
import tempfile

import bus

MAIN = 'Quillonics MPEG Layer-3 Cantrix (Summit)'
PRESETS = ['Nice Quality, Lowest Bitrate', 'Best Quality for 28.8 Modems', 'Superior Quality for ISDN',
           'Format Chosen in the List']
MAIN_CONTROLS = dict({'Encode': 'push button', 'Select Input': 'push button', 'Set Output': 'push button',
                      'Preview': 'push button', 'Conversion progress': 'progress bar',
                      'Layer-3 format': 'combo box'}, **{p: 'radio button' for p in PRESETS})
HELP_LINKS = ['Converting a file, step by step', 'The window', 'Quality presets and the format list',
              'How the output file is named', 'Options', 'Messages', 'Converting from a terminal']


def main(program):
    bus.skip_without_sound_server()
    work = tempfile.mkdtemp()
    song = bus.write_wav(os.path.join(work, 'Song.wav'), 300)
    process = bus.start(program, work)
    try:
        walk(process, work, song)
    finally:
        bus.stop(process)
    print('PASS', flush=True)


def menu(app, main_window, item, opens_modal=True):
    bus.act(bus.find(main_window, 'menu item', item), opens_modal=opens_modal)


def walk(process, work, song):
    app = bus.application(os.path.basename(sys.argv[1]))
    main_window = bus.window(app, MAIN)
    print('main window:', flush=True)
    bus.check_controls('main window', main_window, MAIN_CONTROLS)

    # The input chooser, opened by Select Input's action: the file named in its name field, then Open.
    bus.act(bus.find(main_window, 'push button', 'Select Input'), opens_modal=True)
    chooser = bus.window(app, 'Open')
    print('input chooser:', flush=True)
    bus.check_controls('input chooser', chooser, {'PLAY': 'push button', 'STOP': 'push button',
                                                  'File name:': 'text', 'Open': 'push button'})
    bus.find(chooser, 'text', 'File name:').queryEditableText().setTextContents(song)
    readout = bus.labelled(chooser, 'Format:')
    bus.wait_for('the readout of the named file', lambda: readout.name == '44100 Hz Stereo')
    bus.act(bus.wait_for('Open enabled', lambda: bus.find(chooser, 'push button', 'Open')
                         if bus.find(chooser, 'push button', 'Open').getState().contains(bus.pyatspi.STATE_ENABLED)
                         else None))
    bus.wait_gone(app, 'Open')

    # The paths, read as a screen reader reads them: the text tied to "Input:" and "Output:".
    bus.wait_for('the input path', lambda: bus.labelled(main_window, 'Input:').name == song)
    output = os.path.join(work, 'Song Layer-3.wav')
    if bus.labelled(main_window, 'Output:').name != output:
        bus.fail('output path read as "%s"' % bus.labelled(main_window, 'Output:').name)
    bus.check_controls('main window with an input', main_window, MAIN_CONTROLS)

    # The About boxes; the codec's is a message box, an alert as all of them.
    menu(app, main_window, 'About MPEG Layer-3 Cantrix')
    about = bus.window(app, 'About MPEG Layer-3 Cantrix')
    print('About box:', flush=True)
    bus.check_controls('About box', about, {'OK': 'push button'})
    bus.act(bus.find(about, 'push button', 'OK'))
    bus.wait_gone(app, 'About MPEG Layer-3 Cantrix')
    menu(app, main_window, 'About MPEG Layer-3 Audio Codec')
    codec = bus.window(app, 'About Quillonics MPEG Layer-3 ACM Audio Codec')
    if bus.role(codec) != 'alert':
        bus.fail('the codec\'s About box is a ' + bus.role(codec))
    bus.act(bus.find(codec, 'push button', 'OK'))
    bus.wait_gone(app, codec.name)

    # The help window: its page and its links, one of which leads down the page.
    menu(app, main_window, 'Using Cantrix...', opens_modal=False)
    help_window = bus.window(app, 'Using MPEG Layer-3 Cantrix')
    print('help window:', flush=True)
    bus.check_controls('help window', help_window, dict({h: 'link' for h in HELP_LINKS}))
    page = next(a for a in bus.controls(help_window) if a.name == 'Using MPEG Layer-3 Cantrix')
    if 'Converting a file, step by step' not in page.queryText().getText(0, -1):
        bus.fail('the help page\'s text is not on the bus')
    scroll = next(a for a in bus.walk(help_window) if bus.role(a) == 'scroll bar' and bus.showing(a))
    bus.act(bus.find(help_window, 'link', 'Converting from a terminal'))
    bus.wait_for('the link to scroll the page', lambda: bus.value(scroll) > 0)

    # The preview: its controls, and its status heard on Cancel, which holds the focus.
    bus.act(bus.find(main_window, 'push button', 'Preview'), opens_modal=True)
    preview = bus.window(app, 'Compression Preview')
    print('preview:', flush=True)
    bus.check_controls('preview', preview, {'Cancel': 'push button', 'Preview progress': 'progress bar'})
    cancel = bus.find(preview, 'push button', 'Cancel')
    bus.wait_for('"Status: Playing..." announced', lambda: cancel.description == 'Status: Playing...')
    bus.act(cancel)
    bus.wait_gone(app, 'Compression Preview')

    # A run started by the Encode button's action: progress in percent, then its end announced.
    bar = bus.find(main_window, 'progress bar', 'Conversion progress')
    bus.listen('object:property-change:accessible-description')
    encode = bus.find(main_window, 'push button', 'Encode')
    bus.act(encode)
    bus.wait_for('the run to start', lambda: encode.name == 'CANCEL')
    seen = 0
    while encode.name == 'CANCEL':
        seen = max(seen, bus.value(bar))
        bus.pump()
    if not 0 < seen <= 100 or bar.queryValue().maximumValue != 100:
        bus.fail('progress read as %s of %s' % (seen, bar.queryValue().maximumValue))
    bus.wait_for('the end announced', lambda: any(
        source == bar and text == 'Conversion finished' for _, source, text in bus.events))
    print('progress seen up to %d%%, end announced as "%s"' % (seen, bar.description), flush=True)
    if not os.path.getsize(output):
        bus.fail('no output written')

    menu(app, main_window, 'Exit', opens_modal=False)
    if process.wait(bus.LIMIT) != 0:
        bus.fail('exit status %d' % process.returncode)


if __name__ == '__main__':
    main(sys.argv[1])
