#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTRIX_WERROR=ON >/dev/null
cmake --build build --target cantrix
exec build/cantrix "$@"
