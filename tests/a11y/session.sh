#!/usr/bin/env bash
# Runs one of the accessibility walks of walks.py (bus or keyboard) on PROGRAM as a desktop
# would: a virtual X server with a window manager (openbox), a private session bus (which starts
# the accessibility bus on demand) and a private sound server. Exits 77 (skipped) when a tool it
# needs is missing.
# Usage: session.sh PROGRAM bus|keyboard
set -euo pipefail

here=$(dirname "$(realpath "$0")")
program=$(realpath "$1")
if [ "${3:-}" != "--inside-x" ]; then
  for tool in xvfb-run openbox xprop dbus-run-session xdotool pulseaudio parec pactl; do
    command -v "$tool" >/dev/null || { echo "skipped: needs $tool"; exit 77; }
  done
  # python3-pyatspi belongs to Debian's own python.
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: needs python3-pyatspi"; exit 77; }
  [ -x /usr/libexec/at-spi-bus-launcher ] || { echo "skipped: needs at-spi2-core"; exit 77; }
  # -noreset: else the server resets whenever its last client leaves and refuses whoever
  # connects meanwhile, such as the window manager while the first xprop below disconnects.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$program" "$2" --inside-x
fi

wm_log=$(mktemp)
openbox --sm-disable 2>"$wm_log" &
wm=$!
# A window manager that has already ended is fine here; errexit must not end the clean-up early.
trap 'kill $wm 2>/dev/null || true; rm -f "$wm_log"' EXIT
wm_up() { grep -q 'window id' <<<"$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)"; }
for _ in $(seq 300); do
  wm_up && break
  sleep 0.1
done
wm_up || { echo "FAIL: openbox did not start: $(cat "$wm_log")" >&2; exit 1; }

dbus-run-session -- \
  bash "$here/../sound/pulse_session.sh" /usr/bin/python3 -B -u "$here/walks.py" "$2" "$program"
