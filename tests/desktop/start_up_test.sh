#!/usr/bin/env bash
# The window when it cannot start: one line with Qt's own reason when Qt finds no platform to
# show it on, and a usage error for an option the window does not know (never loaded as a file).
source "$(dirname "$0")/../cli/lib.sh"

start() { # start [NAME=VALUE]... ARGS...: runs the window's program; keeps $status and $errors
  set +e
  errors=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>&1 >/dev/null)
  status=$?
  set -e
}

# ENVIRONMENT|what Qt says about it
while IFS='|' read -r setting reason; do
  start "$setting" "$CANTRIX" "$WORK/song.wav"
  check "$setting: status 1 (got $status)" [ "$status" -eq 1 ]
  check "$setting: one line, our words, Qt's reason, what to do ($errors)" \
    [ "$errors" = "cantrix: cannot open a window (Qt: $reason); cantrix --encode converts from a terminal" ]
done <<'TABLE'
DISPLAY=:97|could not connect to display :97; Could not load the Qt platform plugin "xcb" in "" even though it was found.
QT_QPA_PLATFORM=nosuch|Could not find the Qt platform plugin "nosuch" in ""
TABLE

# ARGUMENTS|the option named
while IFS='|' read -r arguments option; do
  read -ra words <<<"$arguments"
  start QT_QPA_PLATFORM=offscreen "$CANTRIX" "${words[@]}"
  check "cantrix $arguments: status 2 (got $status)" [ "$status" -eq 2 ]
  check "cantrix $arguments: names the option, then where help is ($errors)" \
    [ "$errors" = "cantrix: unknown option $option"$'\n'"Try 'cantrix --help'." ]
done <<'TABLE'
--encdoe song.wav|--encdoe
song.wav --preset lowest|--preset
--|--
TABLE

finish
