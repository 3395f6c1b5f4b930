# Shared helpers of the end-to-end tests. Each test script is run as `bash SCRIPT PATH-TO-CANTRIX`.
set -euo pipefail

CANTRIX=${1:?path to cantrix}
WORK=$(mktemp -d /tmp/cantrix-cli.XXXXXX)
# Commands a test adds (at_exit+="...;") run at its end, before its folder is removed.
at_exit=""
trap 'eval "$at_exit"; chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
# Keep the user's saved options out of the tests.
export XDG_CONFIG_HOME="$WORK/config"
failures=0
passes=0

pass() { passes=$((passes + 1)); }
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then pass; else fail "$what"; fi
}
finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

# without_tag FILE: the frames of a raw Layer-3 file, without the tag frame in front of them.
without_tag() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/info_tag.py" frames "$1"; }
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
fourcc() { dd if="$1" bs=1 skip="$2" count=4 status=none; }
filesize() { stat -c %s "$1"; }
probe() { # probe FILE ENTRY: one stream or format field from ffprobe (sed reads to the end, where
  # a head that leaves early would fail the pipe under pipefail)
  ffprobe -v error -show_entries "$2" -of default=noprint_wrappers=1:nokey=1 "$1" | sed -n 1p
}

# encode ARGS...: runs `cantrix --encode`, keeps its status in $status and its error output in $errors.
encode() {
  set +e
  errors=$("$CANTRIX" --encode "$@" 2>&1 >"$WORK/stdout")
  status=$?
  set -e
}
