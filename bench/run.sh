#!/usr/bin/env bash
# Builds a release build, makes its own test audio, and prints the performance figures the project
# is held to, each measured side by side in this one run (times are medians of back-to-back pairs):
#   1. one 10-minute file at 128 kbit/s: cantrix against lame -b 128 (goal <= 0.55), against
#      --threads 1 (goal >= 1.8 times as fast), against two lame processes on its halves at once
#      (the machine's real two-core capacity; goal <= 1.1), and --threads 1 against lame on one
#      core (goal <= 1.05)
#   2. four such files: the defaults against --jobs 1 --threads 1 (goal >= 1.8 times the
#      throughput), and --jobs 2 against --jobs 1
#   3. the seams over every format the codec offers, per MPEG version and bit-rate band: each
#      frame's coding error over the serial encode's against the largest excess that three ±1 LSB
#      dithered serial encodes show, plus 1 dB (goal: margin <= 0), and the whole stream within
#      0.3 dB; the frame count of the 10-minute file against lame -t; the frame check's cost
#      against the encode (goal < 1%)
#   4. peak memory of converting a 1 GiB input, a 1 MiB one, and a 30-minute stream that stays
#      serial (50 kHz input) at 320 kbit/s (goal < 64 MiB each)
#   5. input analysis of a 1 GiB file against a 1 MiB file (goal <= 1.5)
#   6. batches: peak memory of a --skip-existing run over 100,000 existing outputs against one over
#      100 (goal <= 1.1); --jobs 1 over 100 one-second files against the files' own conversion
#      time, the engine converting them in turn with nothing around it (goal <= 1.1: no file
#      waits for the one before), and against the same audio as one file (what each file's own
#      set-up and last frames cost)
# Usage: bench/run.sh [RUNS]   (RUNS: timed pairs per comparison, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
tools/install-deps.sh
command -v python3 >/dev/null || apt-get install -y -qq python3 >/dev/null

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTRIX_BUILD_TESTS=OFF \
  -DCANTRIX_BUILD_BENCH=ON >/dev/null
cmake --build build-release -j "$(nproc)" >/dev/null
cantrix=$PWD/build-release/cantrix
pairs() { python3 bench/pairs.py "$runs" "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

audio=${BENCH_AUDIO:-$PWD/bench/out}
mkdir -p "$audio"
export XDG_CONFIG_HOME="$audio/config"
make_audio() { # make_audio FILE SECONDS
  [ -s "$1" ] || sox -n -r 44100 -b 16 -c 2 "$1" synth "$2" pinknoise vol 0.3
}
make_audio "$audio/ten-minutes.wav" 600
[ -s "$audio/half-1.wav" ] || sox "$audio/ten-minutes.wav" "$audio/half-1.wav" trim 0 300
[ -s "$audio/half-2.wav" ] || sox "$audio/ten-minutes.wav" "$audio/half-2.wav" trim 300
for i in 1 2 3 4; do [ -e "$audio/four-$i.wav" ] || cp "$audio/ten-minutes.wav" "$audio/four-$i.wav"; done
# 1 GiB of PCM: 6087 s at 44.1 kHz, 16-bit stereo.
make_audio "$audio/one-gib.wav" 6087
make_audio "$audio/one-mib.wav" 6
# 30 minutes at 50 kHz: no whole multiple of 48 kHz, so the stream is encoded serially.
[ -s "$audio/serial-30min.wav" ] || sox -n -r 50000 -b 16 -c 2 "$audio/serial-30min.wav" synth 1800 pinknoise vol 0.3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

format="--format '128 kBit/s, 44100 Hz, Stereo'"
one="$cantrix --encode --quiet --overwrite --raw $format --output $out/a.mp3 $audio/ten-minutes.wav"
lame="lame --quiet -b 128 $audio/ten-minutes.wav $out/b.mp3"
halves="lame --quiet -b 128 $audio/half-1.wav $out/h1.mp3 & lame --quiet -b 128 $audio/half-2.wav $out/h2.mp3 & wait"
pin="taskset -c 0"

echo "== 1. One 10-minute file of 44.1 kHz 16-bit stereo at 128 kbit/s ($(nproc) cores)"
read -r ours theirs r < <(pairs "$one" "$lame")
echo "cantrix ${ours}s, lame ${theirs}s: time ratio cantrix/lame = $r (goal <= 0.55)"
read -r ours single r < <(pairs "$one" "$one --threads 1")
echo "cantrix ${ours}s, --threads 1 ${single}s: speed-up = $(ratio 1 "$r") (goal >= 1.8)"
read -r ours both r < <(pairs "$one" "$halves")
echo "cantrix ${ours}s, two lame processes on the halves at once ${both}s: ratio = $r (goal <= 1.1)"
read -r single theirs r < <(pairs "$pin $one --threads 1" "$pin $lame")
echo "on core 0: --threads 1 ${single}s, lame ${theirs}s: time ratio = $r (goal <= 1.05)"

echo "== 2. Four such files"
four="$cantrix --encode --quiet --overwrite --raw --dir $out $audio/four-1.wav $audio/four-2.wav $audio/four-3.wav $audio/four-4.wav"
read -r defaults serial r < <(pairs "$four" "$four --jobs 1 --threads 1")
echo "defaults ${defaults}s, --jobs 1 --threads 1 ${serial}s: throughput ratio = $(ratio 1 "$r") (goal >= 1.8)"
read -r two one_job r < <(pairs "$four --jobs 2" "$four --jobs 1")
echo "--jobs 2 ${two}s, --jobs 1 ${one_job}s: throughput ratio = $(ratio 1 "$r") (each file already uses every core)"

echo "== 3. Seams over every format: each frame's excess over the serial encode against the largest of three"
echo "   dithered serial encodes + 1 dB (margin <= 0 passes), whole within 0.3 dB; 'control' judges a fourth"
echo "   dithered serial encode the same way, so it counts the judgement's own false failures"
build-release/bench/seam_quality
lame --quiet -t -b 128 "$audio/ten-minutes.wav" "$out/serial.mp3"
eval "$one"
echo "frames of the 10-minute file: cantrix $(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/a.mp3"), lame -t $(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/serial.mp3")"

echo "== 4. Peak memory of a conversion"
peak() { /usr/bin/time -f %M "$cantrix" --encode --quiet --overwrite --raw --output "$out/peak.mp3" "$@" 2>&1 >/dev/null | tail -n1; }
big=$(peak "$audio/one-gib.wav")
small=$(peak "$audio/one-mib.wav")
serial=$(peak --format "320 kBit/s, 48000 Hz, Stereo" "$audio/serial-30min.wav")
echo "1 GiB input: $((big / 1024)) MiB peak, 1 MiB input: $((small / 1024)) MiB peak (segments in flight are capped)"
echo "30 minutes serial at 320 kbit/s: $((serial / 1024)) MiB peak (goal < 64 MiB: what was given out is dropped)"

echo "== 5. Input analysis, 1 GiB against 1 MiB"
build-release/bench/analysis_bench "$audio/one-mib.wav" "$audio/one-gib.wav" --benchmark_format=json \
  --benchmark_min_time=0.5 >"$out/analysis.json" 2>/dev/null
python3 - "$out/analysis.json" <<'PY'
import json, sys
times = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
for mode in ("full", "probe"):
    s, l = times[f"AnalyzeInput/{mode}/small"], times[f"AnalyzeInput/{mode}/large"]
    print(f"{mode}: 1 MiB {s:.1f} ns, 1 GiB {l:.1f} ns: ratio {l / s:.3f} (goal <= 1.5)")
PY

echo "== 6. Batches of many small files"
make_audio "$audio/small.wav" 1
mkdir -p "$audio/small"
for i in $(seq -w 1 100); do [ -e "$audio/small/s$i.wav" ] || cp "$audio/small.wav" "$audio/small/s$i.wav"; done
[ -s "$audio/small-joined.wav" ] || sox "$audio"/small/s*.wav "$audio/small-joined.wav"
(
  # 100,000 names in a tmpfs where one can be mounted: on a disk, making and removing them takes
  # longer than the run itself.
  many="$out/many"
  mkdir "$many"
  mount -t tmpfs -o size=1g tmpfs "$many" 2>/dev/null && trap 'umount "$many"' EXIT
  made() { # made COUNT FOLDER: empty inputs and outputs that hold a line, named alike
    mkdir -p "$2/in" "$2/out"
    seq -f "$2/in/%06g.wav" "$1" | xargs touch
    seq "$1" | split -l 1 -d -a 6 --numeric-suffixes=1 --additional-suffix=.mp3 - "$2/out/"
  }
  peak() { /usr/bin/time -f %M "$cantrix" --encode --quiet --raw --skip-existing --dir "$1/out" "$1/in" 2>&1 >/dev/null | tail -n1; }
  made 100 "$many/few"
  made 100000 "$many/all"
  few=$(peak "$many/few")
  all=$(peak "$many/all")
  echo "--skip-existing, nothing to do: 100,000 files $((all / 1024)) MiB peak, 100 files $((few / 1024)) MiB peak: ratio $(ratio "$all" "$few") (goal <= 1.1)"
)
batch="$cantrix --encode --quiet --raw --overwrite --preset isdn --jobs 1 --threads 1 --dir $out/small $audio/small"
engine="build-release/bench/batch_conversion $audio/small $out/small"
joined="$cantrix --encode --quiet --raw --overwrite --preset isdn --jobs 1 --threads 1 --output $out/joined.mp3 $audio/small-joined.wav"
mkdir -p "$out/small"
read -r batched own r < <(pairs "$batch" "$engine")
echo "--jobs 1 over 100 one-second files ${batched}s, the engine converting them in turn ${own}s: ratio = $r (goal <= 1.1)"
read -r batched whole r < <(pairs "$batch" "$joined")
echo "--jobs 1 over 100 one-second files ${batched}s, the same audio as one file ${whole}s: ratio = $r"
