#!/usr/bin/env bash
# Saves screenshots of the real program's windows for review: the main window with no input,
# with its Help menu open, with an input loaded, with its format list open and busy (twice, to show
# the bar moving), its context menu, the About box, the input chooser with its format readout (and
# its PLAY and STOP buttons enlarged), the Set Output chooser, the Compression Preview while it
# prepares and while it plays, the folder chooser and the help window; each chooser as it first
# opens. The program runs under a virtual X server with private options and a private sound server
# (tests/sound/pulse_session.sh), and is driven by its keyboard and mouse, as a user would drive it.
# Every step waits for the state it shoots, so the set comes out the same on any machine; with
# QT_SCALE_FACTOR=2 in the environment it shows the windows at twice the size.
#
# Usage: tools/screenshots.sh OUTPUT_DIR [PROGRAM]   (PROGRAM defaults to build/cantrix)
# Needs: xvfb-run (xvfb, xauth), xdotool, xwininfo (x11-utils), import (imagemagick), sox,
# pulseaudio, pacat and pactl (pulseaudio-utils).
set -euo pipefail

if [ "${1:-}" != "--inside-x" ]; then
  if [ $# -lt 1 ]; then
    echo "usage: $0 OUTPUT_DIR [PROGRAM]" >&2
    exit 2
  fi
  for tool in xvfb-run xdotool xwininfo import sox pulseaudio pacat pactl; do
    command -v "$tool" >/dev/null ||
      { echo "$0: needs $tool (xvfb xauth xdotool x11-utils imagemagick sox pulseaudio pulseaudio-utils)" >&2; exit 1; }
  done
  out=$(realpath -m "$1")
  program=$(realpath "${2:-$(dirname "$0")/../build/cantrix}")
  mkdir -p "$out"
  # pulse_session.sh gives everything it runs a HOME of its own; the program gets this one back,
  # so that the file choosers look as they always do.
  export CANTRIX_SHOTS_HOME="$HOME"
  # -noreset: else the server resets whenever its last client leaves and refuses whoever
  # connects meanwhile.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
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
# The grabs the script looks at, out of sight of the choosers, which show the working folder.
scratch="$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
# Ten minutes of CD-quality stereo: a run long enough to catch the progress bar moving.
sox -q -n -r 44100 -c 2 -b 16 "$work/Concert.wav" synth 600 sine 440 vol 0.5

# Every wait below polls for the state it needs, a few times a second, up to this many times.
tries=300

# True when window $1 is a popup (a menu, a list, a completer), which no window manager handles.
is_popup() {
  grep -q 'Override Redirect State: yes' <<<"$(xwininfo -id "$1" 2>/dev/null)"
}

# The id of the first visible, titled window of the program that is not a popup nor among "$@".
new_window() {
  for _ in $(seq $tries); do
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      case " $* " in *" $id "*) continue ;; esac
      is_popup "$id" && continue
      [ -n "$(xdotool getwindowname "$id" 2>/dev/null)" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  echo "$0: no new window appeared" >&2
  return 1
}

# The id of a visible popup of the program.
popup_window() {
  for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    is_popup "$id" && { echo "$id"; return 0; }
  done
  return 1
}

wait_popup() {
  for _ in $(seq $tries); do
    popup_window && return 0
    sleep 0.05
  done
  echo "$0: no popup appeared" >&2
  return 1
}

# Waits until window $1 is no longer on the screen.
wait_gone() {
  for _ in $(seq $tries); do
    grep -qx "$1" <<<"$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null)" || return 0
    sleep 0.05
  done
  echo "$0: window $1 stayed on the screen" >&2
  return 1
}

# Grabs window $1 (or "root" with the crop geometry $3) into $2 once it has finished painting:
# two grabs in a row that are the same picture.
grab() {
  local before="$scratch/grab-before.ppm" after="$scratch/grab-after.ppm"
  local crop=()
  [ -n "${3:-}" ] && crop=(-crop "$3" +repage)
  import -window "$1" "${crop[@]}" "ppm:$before"
  for _ in $(seq $tries); do
    sleep 0.05
    import -window "$1" "${crop[@]}" "ppm:$after"
    cmp -s "$before" "$after" && break
    mv "$after" "$before"
  done
  convert "$after" "$2"
}

shot() {
  grab "$1" "$out/$2"
  echo "saved $out/$2"
}

# Window $1 with room below and to the right of it for an open menu or list, grabbed from the
# screen.
shot_with_popup() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  grab root "$out/$2" "$((WIDTH + 240))x$((HEIGHT + 240))+$X+$Y"
  echo "saved $out/$2"
}

focus() {
  xdotool windowfocus --sync "$1"
}

# The main window's face in the grab $1: its left, top, width and height in pixels. The face is
# the window below the menu bar, whose top edge is the etched line (dark grey over white).
read_face() {
  local w h
  read -r w h < <(identify -format '%w %h\n' "$1")
  face_top=$(convert "$1" -crop "1x$((h / 2))+$((w / 2))+0" +repage -depth 8 txt:- |
    awk -F'[ ,:]+' '/#707070/ && !found { print $2; found = 1 }')
  face_width=$w
  face_height=$((h - face_top))
}

# Clicks the main window $1 at the point (x, y) of its face, in dialog units (265 x 135).
click_face() {
  local grabbed="$scratch/face.png"
  import -window "$1" "$grabbed"
  read_face "$grabbed"
  xdotool mousemove --window "$1" $(($2 * face_width / 265)) $((face_top + $3 * face_height / 135)) click 1
}

# The share (0 to 100) of the main window's progress bar (7, 116, 251 x 12 units) that the grab
# $1 shows filled: its middle row, counted in the style's highlight colour, blue above red.
bar_filled() {
  read_face "$1"
  convert "$1" -crop "$((247 * face_width / 265))x1+$((9 * face_width / 265))+$((face_top + 122 * face_height / 135))" \
    +repage -fx 'b - r > 0.25 ? 1 : 0' -format '%[fx:round(100 * mean)]\n' info:
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

# Lets the stopped program run for $1 seconds, then stops it again and lets the X server draw
# what it sent.
run_slice() {
  kill -CONT "$pid"
  sleep "$1"
  kill -STOP "$pid"
  sleep 0.05
}

cd "$work"
"$program" &
pid=$!
main=$(new_window)
focus "$main"
shot "$main" main-no-input.png

# The menu bar with "Help" open at its right end.
xdotool key alt+h
menu=$(wait_popup)
shot_with_popup "$main" main-menu-bar.png
xdotool key Escape Escape
wait_gone "$menu"

# Right click: the context menu with the About entry; its first item opens the About box.
xdotool mousemove --window "$main" 30 200 click 3
menu=$(wait_popup)
shot_with_popup "$main" main-context-menu.png
xdotool key Down Return
about=$(new_window "$main")
shot "$about" about.png
focus "$about"
xdotool key Escape
wait_gone "$about"

# Select Input has the focus: the chooser opens, the first time, in the working folder. Typing
# the WAV's name shows its format in the readout.
focus "$main"
xdotool key space
chooser=$(new_window "$main")
focus "$chooser"
xdotool type --delay 40 "Concert.wav"
# The name completion's list, if it opened, closes with Escape; the chooser stays.
grab "$chooser" "$scratch/typed.png"
if completion=$(popup_window); then
  xdotool key Escape
  wait_gone "$completion"
fi
shot "$chooser" input-chooser.png
# The PLAY and STOP buttons at the chooser's bottom right, enlarged so their icons can be checked.
read -r width height < <(identify -format '%w %h\n' "$out/input-chooser.png")
convert "$out/input-chooser.png" -gravity SouthEast -crop "$((width / 5))x$((height / 8))+0+0" +repage \
  -filter point -resize 400% "$out/input-chooser-audition.png"
echo "saved $out/input-chooser-audition.png"
xdotool key Return
wait_gone "$chooser"
focus "$main"
shot "$main" main-input-loaded.png

# The format list (140, 72, 111 units wide) open.
click_face "$main" 195 78
list=$(wait_popup)
shot_with_popup "$main" main-format-list.png
xdotool key Escape
wait_gone "$list"

# Set Output (201, 43, 50 x 14 units), the first time: in the working folder as well.
click_face "$main" 226 50
output=$(new_window "$main")
shot "$output" output-chooser.png
focus "$output"
xdotool key Escape
wait_gone "$output"

# Encode (201, 96, 50 x 14 units), with the program stopped: it then runs in slices of a few
# milliseconds, and after each one the stopped window is grabbed, until its bar shows progress.
# Nothing changes while the program stands still, so however fast this machine converts, the
# shots show the run busy, and CANCEL reaches it while it is busy.
focus "$main"
kill -STOP "$pid"
click_face "$main" 226 103
busy="$scratch/busy.png"
filled=0
for _ in $(seq 2000); do
  run_slice 0.01
  grab "$main" "$busy"
  filled=$(bar_filled "$busy")
  [ "$filled" -gt 0 ] && break
done
[ "$filled" -gt 0 ] || { kill -CONT "$pid"; echo "$0: the run never showed progress" >&2; exit 1; }
cp "$busy" "$out/main-busy.png"
echo "saved $out/main-busy.png"
first=$filled
for _ in $(seq 2000); do
  run_slice 0.01
  grab "$main" "$busy"
  filled=$(bar_filled "$busy")
  [ "$filled" -ge $((first + 10)) ] && break
done
[ "$filled" -ge $((first + 10)) ] || { kill -CONT "$pid"; echo "$0: the bar did not move on" >&2; exit 1; }
cp "$busy" "$out/main-busy-later.png"
echo "saved $out/main-busy-later.png"
# CANCEL has the focus still; the run ends with the bar back at 0.
xdotool key space
kill -CONT "$pid"
for _ in $(seq $tries); do
  grab "$main" "$busy"
  [ "$(bar_filled "$busy")" -eq 0 ] && break
  sleep 0.05
done
[ "$(bar_filled "$busy")" -eq 0 ] || { echo "$0: CANCEL did not end the run" >&2; exit 1; }

# Preview (140, 96, 50 x 14 units). Its dialog encodes five seconds (tens of milliseconds) and then
# plays them for 5.5 seconds. The preparing state is caught as the busy one was: the program
# stopped before the click, then let run in slices until the stopped dialog's status line shows
# the preparing text. Released, it goes on to play.
focus "$main"
kill -STOP "$pid"
click_face "$main" 165 103
preview_grab="$scratch/preview-grab.png"
preview=
for _ in $(seq 1000); do
  # Coarse slices until the dialog is on the screen, then fine ones.
  run_slice "$([ -z "$preview" ] && echo 0.02 || echo 0.002)"
  if [ -z "$preview" ]; then
    preview=$(xdotool search --all --onlyvisible --pid "$pid" --name "^Compression Preview\$" 2>/dev/null | head -n 1) ||
      true
    continue
  fi
  timeout 10 import -window "$preview" "$preview_grab" 2>/dev/null ||
    { kill -CONT "$pid"; echo "$0: the preview closed before it could be shot" >&2; exit 1; }
  [ "$(status_width "$preview_grab")" -ge "$preparing_width" ] && break
done
kill -CONT "$pid"
[ "$(status_width "$preview_grab")" -ge "$preparing_width" ] ||
  { echo "$0: the preview never showed its preparing state" >&2; exit 1; }
cp "$preview_grab" "$out/preview-preparing.png"
echo "saved $out/preview-preparing.png"
# Playing begins once the sound server has taken the stream; the dialog closes itself 5.5 s later.
for _ in $(seq $tries); do
  timeout 10 import -window "$preview" "$preview_grab" 2>/dev/null ||
    { echo "$0: the preview closed without playing (no sound server?)" >&2; exit 1; }
  [ "$(status_width "$preview_grab")" -lt "$preparing_width" ] && break
  sleep 0.05
done
[ "$(status_width "$preview_grab")" -lt "$preparing_width" ] ||
  { echo "$0: the preview never showed its playing state" >&2; exit 1; }
cp "$preview_grab" "$out/preview-playing.png"
echo "saved $out/preview-playing.png"
wait_gone "$preview"

# Options > Set Conversion Directory, the first time.
focus "$main"
xdotool key alt+o s
folder=$(new_window "$main")
shot "$folder" folder-chooser.png
focus "$folder"
xdotool key Escape
wait_gone "$folder"

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
