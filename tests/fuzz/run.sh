#!/usr/bin/env bash
# Runs each fuzz target of a build tree for a fixed time, starting from the seed corpus beside
# this script (small WAV files of every kind the program meets), and prints its run count. A
# crash, a failed check, a hang or a leak fails the run and prints the input that caused it, in
# base64.
# Usage: tests/fuzz/run.sh BUILD-DIR SECONDS
set -euo pipefail

build=$1
seconds=$2
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for target in riff_fuzz whole_path_fuzz; do
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  mkdir "$work/$target"
  log="$work/$target.log"
  # An input that takes seconds hangs: the inputs are a few kilobytes.
  if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/$target-" "$work/$target" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: $runs runs in $seconds s, $(ls "$work/$target" | wc -l) new inputs, no failure"
  else
    status=1
    echo "$target: FAILED; its log without the progress lines:"
    grep -v '^#[0-9]' "$log" | tail -n 80
    for input in "$work/$target"-*; do
      [ -e "$input" ] || continue
      echo "$target: the input that failed (${input##*/}, $(stat -c %s "$input") bytes), base64:"
      base64 "$input"
      echo "(to run it again: base64 -d >input, then $build/tests/fuzz/$target input)"
    done
  fi
done
exit "$status"
