#!/usr/bin/env bash
# Saves screenshots of the real program's windows for review: the main window with no input,
# with an input loaded and busy (twice, to show the bar moving), its context menu, the About box,
# the input chooser with its format readout (and its PLAY and STOP buttons enlarged), the
# Compression Preview while it prepares and while it plays, the folder chooser and the help window.
# The program runs under a virtual X server with private options and a private sound server
# (tests/sound/pulse_session.sh), and is driven by its keyboard interface, as a user would drive it.
#
# Usage: tools/screenshots.sh OUTPUT_DIR [PROGRAM]   (PROGRAM defaults to build/cantrix)
# Needs: xvfb-run (xvfb, xauth), xdotool, import (imagemagick), sox, pulseaudio, pacat and pactl
# (pulseaudio-utils).
set -euo pipefail

if [ "${1:-}" != "--inside-x" ]; then
  if [ $# -lt 1 ]; then
    echo "usage: $0 OUTPUT_DIR [PROGRAM]" >&2
    exit 2
  fi
  for tool in xvfb-run xdotool import sox pulseaudio pacat pactl; do
    command -v "$tool" >/dev/null ||
      { echo "$0: needs $tool (xvfb xauth xdotool imagemagick sox pulseaudio pulseaudio-utils)" >&2; exit 1; }
  done
  out=$(realpath -m "$1")
  program=$(realpath "${2:-$(dirname "$0")/../build/cantrix}")
  mkdir -p "$out"
  # pulse_session.sh gives everything it runs a HOME of its own; the program gets this one back,
  # so that the file choosers look as they always do.
  export CANTRIX_SHOTS_HOME="$HOME"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" \
    bash "$(dirname "$0")/../tests/sound/pulse_session.sh" "$0" --inside-x "$out" "$program"
fi

out=$2
program=$3
work=$(mktemp -d)
pid=
cleanup() {
  # A program left stopped by the preview shots ends as well.
  [ -n "$pid" ] && { kill "$pid" 2>/dev/null; kill -CONT "$pid" 2>/dev/null; } || true
  rm -rf "$work"
}
trap cleanup EXIT

# The private sound server of pulse_session.sh, reached by its socket and cookie, since the
# runtime and configuration folders change below.
if [ -S "$XDG_RUNTIME_DIR/pulse/native" ]; then
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  export PULSE_COOKIE="${XDG_CONFIG_HOME:-$HOME/.config}/pulse/cookie"
fi
export HOME="$CANTRIX_SHOTS_HOME"
# Private options, so the user's own are neither read nor changed.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
# Ten minutes of CD-quality stereo: a run long enough to catch the progress bar moving.
sox -q -n -r 44100 -c 2 -b 16 "$work/Concert.wav" synth 600 sine 440 vol 0.5

# The id of the first visible, titled window of the program that is not among "$@".
new_window() {
  for _ in $(seq 150); do
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      case " $* " in *" $id "*) continue ;; esac
      [ -n "$(xdotool getwindowname "$id" 2>/dev/null)" ] && { echo "$id"; return 0; }
    done
    sleep 0.2
  done
  echo "$0: no new window appeared" >&2
  return 1
}

shot() {
  sleep 0.7  # let the window finish painting
  import -window "$1" "$out/$2"
  echo "saved $out/$2"
}

focus() {
  xdotool windowfocus --sync "$1"
  sleep 0.3
}

# The width, in dialog units, of the text on the Compression Preview's status line in the image
# $1 of that dialog (192 x 60 units; the line is 7, 29, 118 x 8 and the rows 27 to 40 hold nothing
# else); 0 while the line is not yet drawn (still black). "Status: Preparing Preview..." is about
# 90 units wide, "Status: Playing..." about 55.
status_width() {
  local w h ink light
  read -r w h < <(identify -format '%w %h\n' "$1")
  read -r ink light < <(convert "$1" \
    -crop "$((118 * w / 192))x$((13 * h / 60))+$((7 * w / 192))+$((27 * h / 60))" +repage \
    -format '%[fx:mean>0.5] ' -write info: -fuzz 20% -trim -format '%w\n' info: 2>/dev/null |
    awk '{ print $2, $1 }')
  [ "$light" = 1 ] && echo $((ink * 192 / w)) || echo 0
}
preparing_width=75

cd "$work"
"$program" &
pid=$!
main=$(new_window)
focus "$main"
shot "$main" main-no-input.png

# Right click: the context menu with the About entry; its first item opens the About box.
xdotool mousemove --window "$main" 30 200 click 3
sleep 0.7
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "$((WIDTH + 200))x$((HEIGHT + 120))+$X+$Y" +repage "$out/main-context-menu.png"
echo "saved $out/main-context-menu.png"
xdotool key Down Return
about=$(new_window "$main")
shot "$about" about.png
focus "$about"
xdotool key Escape
sleep 0.5

# Select Input has the focus: the chooser opens in the current folder. Moving into the file list
# and selecting the WAV shows its format in the readout.
focus "$main"
xdotool key space
chooser=$(new_window "$main")
focus "$chooser"
xdotool type --delay 40 "Concert.wav"
sleep 0.5
xdotool key Escape  # closes the name completion's popup, if any
sleep 0.5
shot "$chooser" input-chooser.png
# The PLAY and STOP buttons at the chooser's bottom right, enlarged so their icons can be checked.
read -r width height < <(identify -format '%w %h\n' "$out/input-chooser.png")
convert "$out/input-chooser.png" -gravity SouthEast -crop "$((width / 5))x$((height / 8))+0+0" +repage \
  -filter point -resize 400% "$out/input-chooser-audition.png"
echo "saved $out/input-chooser-audition.png"
xdotool key Return
sleep 1
focus "$main"
shot "$main" main-input-loaded.png

# Encode comes before Select Input in the tab order.
xdotool key shift+Tab space
sleep 1
shot "$main" main-busy.png
sleep 1
shot "$main" main-busy-later.png
xdotool key space  # CANCEL
sleep 1

# Preview, the last in the tab order, just before Encode. Its dialog encodes five seconds (tens of
# milliseconds) and then plays them for 5.5 seconds. To catch the first state, the program is
# stopped before the key press and then let run in slices of a few milliseconds; after each slice
# the stopped window is grabbed, until its status line shows the preparing text. That grab is the
# shot: nothing can change while the program stands still. Released, it goes on to play.
focus "$main"
kill -STOP "$pid"
xdotool key shift+Tab space
# Out of sight of the folder chooser shot below.
grab="$XDG_RUNTIME_DIR/preview-grab.png"
preview=
for _ in $(seq 1000); do
  kill -CONT "$pid"
  # Coarse slices until the dialog is on the screen, then fine ones.
  sleep "$([ -z "$preview" ] && echo 0.02 || echo 0.002)"
  kill -STOP "$pid"
  if [ -z "$preview" ]; then
    preview=$(xdotool search --all --onlyvisible --pid "$pid" --name "^Compression Preview\$" 2>/dev/null | head -n 1) ||
      true
    continue
  fi
  sleep 0.05  # the X server draws what the program sent before it stopped
  timeout 10 import -window "$preview" "$grab" 2>/dev/null ||
    { kill -CONT "$pid"; echo "$0: the preview closed before it could be shot" >&2; exit 1; }
  [ "$(status_width "$grab")" -ge "$preparing_width" ] && break
done
kill -CONT "$pid"
[ "$(status_width "$grab")" -ge "$preparing_width" ] ||
  { echo "$0: the preview never showed its preparing state" >&2; exit 1; }
cp "$grab" "$out/preview-preparing.png"
echo "saved $out/preview-preparing.png"
# Playing begins once the sound server has taken the stream; the dialog closes itself 5.5 s later.
for _ in $(seq 50); do
  sleep 0.1
  timeout 10 import -window "$preview" "$grab" 2>/dev/null ||
    { echo "$0: the preview closed without playing (no sound server?)" >&2; exit 1; }
  [ "$(status_width "$grab")" -lt "$preparing_width" ] && break
done
[ "$(status_width "$grab")" -lt "$preparing_width" ] ||
  { echo "$0: the preview never showed its playing state" >&2; exit 1; }
cp "$grab" "$out/preview-playing.png"
echo "saved $out/preview-playing.png"
for _ in $(seq 40); do
  xdotool search --all --onlyvisible --pid "$pid" --name "^Compression Preview\$" >/dev/null 2>&1 || break
  sleep 0.5
done

# Options > Set Conversion Directory.
focus "$main"
xdotool key alt+o s
folder=$(new_window "$main")
shot "$folder" folder-chooser.png
focus "$folder"
xdotool key Escape
sleep 0.5

# F1: the help window.
focus "$main"
xdotool key F1
help=$(new_window "$main")
shot "$help" help.png

# File > Exit ends the program.
focus "$main"
xdotool key alt+f x
wait "$pid" || true
pid=
