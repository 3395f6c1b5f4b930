#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the given arguments. It runs in the
# caller's folder, so relative paths mean what they mean there, and only the program writes to
# standard output, so `run.sh --encode --output - x.wav > x.mp3` holds the stream alone.
set -euo pipefail
repo=$(cd "$(dirname "$0")" && pwd)
"$repo/tools/install-deps.sh" >&2
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTRIX_WERROR=ON >/dev/null
cmake --build "$repo/build" --target cantrix >&2
exec "$repo/build/cantrix" "$@"
