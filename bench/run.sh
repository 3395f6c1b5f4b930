#!/usr/bin/env bash
# Builds a release build, makes its own test audio, and prints the ratios the project is held to,
# each measured side by side in this one run:
#   1. one conversion against the lame command at the same bit rate and quality (goal: <= 1.05)
#   2. --jobs 2 against --jobs 1 on four files, as throughput (goal: >= 1.7)
#   3. peak memory of converting a 1 GiB input (goal: < 32 MiB, independent of the size)
#   4. input analysis of a 1 GiB file against a 1 MiB file (goal: <= 1.5)
# Usage: bench/run.sh [RUNS]   (RUNS: timed repetitions per command, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
tools/install-deps.sh
command -v hyperfine >/dev/null && command -v python3 >/dev/null || apt-get install -y -qq hyperfine python3 >/dev/null

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTRIX_BUILD_TESTS=OFF \
  -DCANTRIX_BUILD_BENCH=ON >/dev/null
cmake --build build-release -j "$(nproc)" >/dev/null
cantrix=$PWD/build-release/cantrix

audio=${BENCH_AUDIO:-$PWD/bench/out}
mkdir -p "$audio"
export XDG_CONFIG_HOME="$audio/config"
make_audio() { # make_audio FILE SECONDS
  [ -s "$1" ] || sox -n -r 44100 -b 16 -c 2 "$1" synth "$2" pinknoise vol 0.3
}
make_audio "$audio/ten-minutes.wav" 600
for i in 1 2 3 4; do [ -e "$audio/four-$i.wav" ] || cp "$audio/ten-minutes.wav" "$audio/four-$i.wav"; done
# 1 GiB of PCM: 6087 s at 44.1 kHz, 16-bit stereo.
make_audio "$audio/one-gib.wav" 6087
make_audio "$audio/one-mib.wav" 6
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

mean() { # mean JSON: the mean time of each command, one per line
  python3 -c 'import json,sys; [print(r["mean"]) for r in json.load(open(sys.argv[1]))["results"]]' "$1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

echo "== 1. One conversion, 10 minutes of 44.1 kHz 16-bit stereo at 128 kbit/s"
hyperfine -N --warmup 1 --runs "$runs" --export-json "$out/single.json" \
  "$cantrix --encode --quiet --overwrite --raw --format '128 kBit/s, 44100 Hz, Stereo' --output $out/a.mp3 $audio/ten-minutes.wav" \
  "lame --quiet -b 128 $audio/ten-minutes.wav $out/b.mp3"
read -r ours lame < <(mean "$out/single.json" | paste -sd' ')
echo "cantrix ${ours}s, lame ${lame}s: time ratio cantrix/lame = $(ratio "$ours" "$lame") (goal <= 1.05)"

echo "== 2. Four such files, --jobs 2 against --jobs 1"
hyperfine -N --runs "$runs" --export-json "$out/jobs.json" \
  "$cantrix --encode --quiet --overwrite --raw --jobs 1 --dir $out $audio/four-1.wav $audio/four-2.wav $audio/four-3.wav $audio/four-4.wav" \
  "$cantrix --encode --quiet --overwrite --raw --jobs 2 --dir $out $audio/four-1.wav $audio/four-2.wav $audio/four-3.wav $audio/four-4.wav"
read -r one two < <(mean "$out/jobs.json" | paste -sd' ')
echo "--jobs 1 ${one}s, --jobs 2 ${two}s: throughput ratio = $(ratio "$one" "$two") (goal >= 1.7)"

echo "== 3. Peak memory of converting a 1 GiB input (and a 1 MiB one)"
peak() { /usr/bin/time -f %M "$cantrix" --encode --quiet --overwrite --raw --output "$out/peak.mp3" "$1" 2>&1 >/dev/null | tail -n1; }
big=$(peak "$audio/one-gib.wav")
small=$(peak "$audio/one-mib.wav")
echo "1 GiB input: $((big / 1024)) MiB peak, 1 MiB input: $((small / 1024)) MiB peak; ratio $(ratio "$big" "$small") (goal: under 32 MiB, ratio near 1)"

echo "== 4. Input analysis, 1 GiB against 1 MiB"
build-release/bench/analysis_bench "$audio/one-mib.wav" "$audio/one-gib.wav" --benchmark_format=json \
  --benchmark_min_time=0.5 >"$out/analysis.json" 2>/dev/null
python3 - "$out/analysis.json" <<'PY'
import json, sys
times = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
for mode in ("full", "probe"):
    s, l = times[f"AnalyzeInput/{mode}/small"], times[f"AnalyzeInput/{mode}/large"]
    print(f"{mode}: 1 MiB {s:.1f} ns, 1 GiB {l:.1f} ns: ratio {l / s:.3f} (goal <= 1.5)")
PY
