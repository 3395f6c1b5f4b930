#!/usr/bin/env bash
# The main window as a real window manager (openbox in a virtual X server) sees it: a normal
# top-level window with its own task-bar entry, minimisable, fixed in size, not maximisable, and
# still ended by Esc.
# Usage: window_type_test.sh PROGRAM. Exits 77 (skipped) when a tool it needs is missing.
set -euo pipefail

program=$(realpath "$1")
if [ "${2:-}" != "--inside-x" ]; then
  for tool in xvfb-run openbox xprop xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: needs $tool"; exit 77; }
  done
  # -noreset: else the server resets whenever its last client leaves and refuses whoever
  # connects meanwhile, such as the window manager while the first xprop below disconnects.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$program" --inside-x
fi

work=$(mktemp -d)
wm=
pid=
cleanup() {
  # A process that has already ended is fine here; errexit must not end the clean-up early.
  kill $pid $wm 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Private options and no sound server, so nothing of the user's is read or changed.
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export PULSE_SERVER="unix:$work/no-server"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

openbox --sm-disable 2>"$work/openbox.log" &
wm=$!
wm_up() { grep -q 'window id' <<<"$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)"; }
for _ in $(seq 300); do
  wm_up && break
  sleep 0.1
done
wm_up || fail "openbox did not start: $(cat "$work/openbox.log")"

"$program" &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$pid" --name '^Quillonics MPEG Layer-3 Cantrix')
window=${window%%$'\n'*}

props=$(xprop -id "$window")
grep -E '^(WM_NAME|_NET_WM_WINDOW_TYPE|_NET_WM_STATE|WM_TRANSIENT_FOR|_NET_WM_ALLOWED_ACTIONS)' <<<"$props" || true
# Here-strings, not `echo | grep -q`: under pipefail a grep that has found its line and left
# makes the writer fail, and the check with it.
grep -q '^WM_NAME(.*) = "Quillonics MPEG Layer-3 Cantrix (Summit)"$' <<<"$props" || fail "caption"
grep -q '^_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL' <<<"$props" || fail "type NORMAL first"
! grep -E '^_NET_WM_STATE\(ATOM\).*(MODAL|SKIP_TASKBAR)' <<<"$props" || fail "modal or hidden from task bars"
! grep -q '^WM_TRANSIENT_FOR' <<<"$props" || fail "transient for a window"
actions=$(grep '^_NET_WM_ALLOWED_ACTIONS' <<<"$props")
grep -q '_NET_WM_ACTION_MINIMIZE' <<<"$actions" || fail "no minimise"
! grep -q '_NET_WM_ACTION_MAXIMIZE' <<<"$actions" || fail "maximisable"
! grep -q '_NET_WM_ACTION_RESIZE' <<<"$actions" || fail "resizable"

# The window manager unmaps the frame before it writes WM_STATE, and a request that comes before it
# has taken the window in is lost; so the state is polled, and the request made again now and then.
for try in $(seq 100); do
  [ $((try % 20)) -eq 1 ] && xdotool windowminimize "$window"
  state=$(xprop -id "$window" WM_STATE)
  grep -q 'window state: Iconic' <<<"$state" && break
  sleep 0.1
done
grep -q 'window state: Iconic' <<<"$state" || fail "minimising leaves it $state"

# Back on the screen, Esc ends the program as it always did. The key goes to the focused window,
# as a user's would; until the window manager has given it the focus, it is asked again.
for _ in $(seq 100); do
  xdotool windowactivate "$window" 2>/dev/null || true
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
  sleep 0.1
done
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] || fail "the window never got the focus back"
xdotool key Escape
status=0
timeout 30 tail --pid="$pid" -f /dev/null || fail "Esc did not end the program"
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
