#!/usr/bin/env bash
# Saves screenshots of the real program's windows for review: the main window with no input,
# with an input loaded and busy (twice, to show the bar moving), its context menu, the About box,
# the input chooser with its format readout, the folder chooser and the help window.
# The program runs under a virtual X server with private options and is driven by its keyboard
# interface, as a user would drive it.
#
# Usage: tools/screenshots.sh OUTPUT_DIR [PROGRAM]   (PROGRAM defaults to build/cantrix)
# Needs: xvfb-run (xvfb, xauth), xdotool, import (imagemagick), sox.
set -euo pipefail

if [ "${1:-}" != "--inside-x" ]; then
  if [ $# -lt 1 ]; then
    echo "usage: $0 OUTPUT_DIR [PROGRAM]" >&2
    exit 2
  fi
  for tool in xvfb-run xdotool import sox; do
    command -v "$tool" >/dev/null || { echo "$0: needs $tool (xvfb xauth xdotool imagemagick sox)" >&2; exit 1; }
  done
  out=$(realpath -m "$1")
  program=$(realpath "${2:-$(dirname "$0")/../build/cantrix}")
  mkdir -p "$out"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-x "$out" "$program"
fi

out=$2
program=$3
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

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

# Options > Set Conversion Directory.
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
