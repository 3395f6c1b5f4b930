#!/usr/bin/env bash
# Builds a release build, makes its own test audio, and prints the performance figures the project
# is held to, each measured side by side in this one run (times are medians of back-to-back pairs):
#   1. one thread against lame on one pinned core, 60-second file at 128 kbit/s (goal <= 1.02),
#      and the CPU time of each encoder's set-up (the first one's and the segments')
#   2. one song on every core: a 2-minute and a 10-minute file with the default threads against two
#      lame processes on their halves at once (the machine's real two-core capacity; goals <= 1.12
#      and <= 1.05), against lame (goal <= 0.55) and against --threads 1 (goal >= 1.8); --threads 16
#      against --threads 2 (goal <= 1, the same bytes)
#   3. the same bytes at --threads 1, 2, 3, 4 and 16 for every format the codec offers
#   4. four 10-minute files: the defaults against --jobs 1 --threads 1 (goal >= 1.8 times the
#      throughput), and --jobs 2 against --jobs 1
#   5. the seams over every format the codec offers, per MPEG version and bit-rate band: each
#      frame's coding error over the serial encode's against the largest excess that three ±1 LSB
#      dithered serial encodes show, plus 1 dB (goal: margin <= 0), and the whole stream within
#      0.3 dB; the frame count of the 10-minute file against lame -t; the frame check's cost
#      against the encode (goal < 1%)
#   6. the serial parts of one stream (inline part, set-up, joining, frame check), measured, and the
#      speed-up they project for a 3-minute and a 10-minute song at 2 to 16 threads
#   7. peak memory of converting a 1 GiB input, a 1 MiB one, and a 30-minute stream that stays
#      serial (50 kHz input) at 320 kbit/s (goal < 64 MiB each); an RF64 input of 4.5 GiB against a
#      minute of the same format (goal: the same peak) and the length of its frames
#   8. input analysis of a 1 GiB file against a 1 MiB file (goal <= 1.5)
#   9. batches: peak memory of a --skip-existing run over 100,000 existing outputs against one over
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
make_audio "$audio/one-minute.wav" 60
make_audio "$audio/two-minutes.wav" 120
make_audio "$audio/ten-minutes.wav" 600
halve() { # halve FILE SECONDS: FILE's halves beside it
  [ -s "${1%.wav}-1.wav" ] || sox "$1" "${1%.wav}-1.wav" trim 0 "$(($2 / 2))"
  [ -s "${1%.wav}-2.wav" ] || sox "$1" "${1%.wav}-2.wav" trim "$(($2 / 2))"
}
halve "$audio/two-minutes.wav" 120
halve "$audio/ten-minutes.wav" 600
for i in 1 2 3 4; do [ -e "$audio/four-$i.wav" ] || cp "$audio/ten-minutes.wav" "$audio/four-$i.wav"; done
# 1 GiB of PCM: 6087 s at 44.1 kHz, 16-bit stereo.
make_audio "$audio/one-gib.wav" 6087
make_audio "$audio/one-mib.wav" 6
# 30 minutes at 50 kHz: no whole multiple of 48 kHz, so the stream is encoded serially.
[ -s "$audio/serial-30min.wav" ] || sox -n -r 50000 -b 16 -c 2 "$audio/serial-30min.wav" synth 1800 pinknoise vol 0.3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

format="--format '128 kBit/s, 44100 Hz, Stereo'"
ours_cmd() { echo "$cantrix --encode --quiet --overwrite --raw $format --output $out/${2:-a}.mp3 $audio/$1.wav"; }
lame_cmd() { echo "lame --quiet -b 128 $audio/$1.wav $out/${2:-b}.mp3"; }
halves_cmd() { echo "$(lame_cmd "$1-1" h1) & $(lame_cmd "$1-2" h2) & wait"; }
pin="taskset -c 0"

echo "== 1. One thread against lame, 60 s of 44.1 kHz 16-bit stereo at 128 kbit/s, on core 0"
read -r single theirs r < <(pairs "$pin $(ours_cmd one-minute) --threads 1" "$pin $(lame_cmd one-minute)")
echo "--threads 1 ${single}s, lame ${theirs}s: time ratio = $r (goal <= 1.02)"
LD_PRELOAD=$PWD/build-release/bench/libsetup_probe.so bash -c "$(ours_cmd one-minute) --threads 1"

echo "== 2. One song on every core ($(nproc) cores), 44.1 kHz 16-bit stereo at 128 kbit/s"
read -r ours both r < <(pairs "$(ours_cmd two-minutes)" "$(halves_cmd two-minutes)")
echo "2 minutes: cantrix ${ours}s, two lame processes on the halves at once ${both}s: ratio = $r (goal <= 1.12)"
read -r ours both r < <(pairs "$(ours_cmd ten-minutes)" "$(halves_cmd ten-minutes)")
echo "10 minutes: cantrix ${ours}s, two lame processes on the halves at once ${both}s: ratio = $r (goal <= 1.05)"
read -r ours theirs r < <(pairs "$(ours_cmd ten-minutes)" "$(lame_cmd ten-minutes)")
echo "10 minutes: cantrix ${ours}s, lame ${theirs}s: time ratio cantrix/lame = $r (goal <= 0.55)"
read -r ours single r < <(pairs "$(ours_cmd ten-minutes)" "$(ours_cmd ten-minutes) --threads 1")
echo "10 minutes: cantrix ${ours}s, --threads 1 ${single}s: speed-up = $(ratio 1 "$r") (goal >= 1.8)"
read -r sixteen two r < <(pairs "$(ours_cmd ten-minutes c) --threads 16" "$(ours_cmd ten-minutes d) --threads 2")
same=$(cmp -s "$out/c.mp3" "$out/d.mp3" && echo same || echo DIFFERENT)
echo "10 minutes: --threads 16 ${sixteen}s, --threads 2 ${two}s: time ratio = $r (goal <= 1), $same bytes"

echo "== 3. The same bytes at --threads 1, 2, 3, 4 and 16, every format from input at its own rate"
formats=0
differing=0
for rate in 8000 11025 12000 16000 22050 24000 32000 44100 48000; do
  for channels in 1 2; do
    # Long enough for two seams: MPEG-2.5 frames last twice as long as the others' at half the rate.
    input="$audio/same-bytes-$rate-$channels.wav"
    [ -s "$input" ] || sox -n -r "$rate" -b 16 -c "$channels" "$input" synth "$((rate < 16000 ? 45 : 30))" pinknoise vol 0.3
    name=$([ "$channels" = 1 ] && echo Mono || echo Stereo)
    while read -r index; do
      formats=$((formats + 1))
      for threads in 1 2 3 4 16; do
        "$cantrix" --encode --quiet --overwrite --raw --format "$index" --threads "$threads" \
          --output "$out/t$threads.mp3" "$input"
      done
      for threads in 2 3 4 16; do
        cmp -s "$out/t1.mp3" "$out/t$threads.mp3" || { differing=$((differing + 1)); echo "DIFFERENT: $input, format $index, --threads $threads"; }
      done
    done < <("$cantrix" --encode --list-formats "$input" | awk -v want=" $rate Hz, $name\$" '$0 ~ want { print $1 }')
  done
done
echo "$formats formats, $differing differing (goal 0)"

echo "== 4. Four 10-minute files"
four="$cantrix --encode --quiet --overwrite --raw --dir $out $audio/four-1.wav $audio/four-2.wav $audio/four-3.wav $audio/four-4.wav"
read -r defaults serial r < <(pairs "$four" "$four --jobs 1 --threads 1")
echo "defaults ${defaults}s, --jobs 1 --threads 1 ${serial}s: throughput ratio = $(ratio 1 "$r") (goal >= 1.8)"
read -r two one_job r < <(pairs "$four --jobs 2" "$four --jobs 1")
echo "--jobs 2 ${two}s, --jobs 1 ${one_job}s: throughput ratio = $(ratio 1 "$r") (each file already uses every core)"

echo "== 5. Seams over every format: each frame's excess over the serial encode against the largest of three"
echo "   dithered serial encodes + 1 dB (margin <= 0 passes), whole within 0.3 dB; 'control' judges a fourth"
echo "   dithered serial encode the same way, so it counts the judgement's own false failures"
build-release/bench/seam_quality
lame --quiet -t -b 128 "$audio/ten-minutes.wav" "$out/serial.mp3"
eval "$(ours_cmd ten-minutes)"
echo "frames of the 10-minute file: cantrix $(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/a.mp3"), lame -t $(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/serial.mp3")"

echo "== 6. The serial parts of one stream, and the speed-up they project"
build-release/bench/parallel_projection 180 600

echo "== 7. Peak memory of a conversion"
peak() { /usr/bin/time -f %M "$cantrix" --encode --quiet --overwrite --raw --output "$out/peak.mp3" "$@" 2>&1 >/dev/null | tail -n1; }
big=$(peak "$audio/one-gib.wav")
small=$(peak "$audio/one-mib.wav")
serial=$(peak --format "320 kBit/s, 48000 Hz, Stereo" "$audio/serial-30min.wav")
echo "1 GiB input: $((big / 1024)) MiB peak, 1 MiB input: $((small / 1024)) MiB peak (segments in flight are capped)"
echo "30 minutes serial at 320 kbit/s: $((serial / 1024)) MiB peak (goal < 64 MiB: what was given out is dropped)"
# 4.5 GiB of RF64 (1572.864 s of 64-bit float stereo at 192 kHz, silence in a sparse file) against
# a minute of the same (long enough for every segment in flight): the length of the frames, and the
# peak.
python3 tests/cli/sparse_rf64.py "$out/rf64-minute.wav" 192000 2 64 3 $((3072000 * 60))
python3 tests/cli/sparse_rf64.py "$out/rf64-huge.wav" 192000 2 64 3 $((4608 * 1024 * 1024))
rf64=(--format "8 kBit/s, 12000 Hz, Mono")
minute=$(peak "${rf64[@]}" "$out/rf64-minute.wav")
huge=$(peak "${rf64[@]}" "$out/rf64-huge.wav")
frames=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/peak.mp3")
echo "RF64 of 4.5 GiB: $((huge / 1024)) MiB peak, a minute of it: $((minute / 1024)) MiB peak (goal: the same);" \
  "frames $frames, of 1572.864 s and the encoder delay: $(((4608 * 1024 * 1024 / 16 / 16 + 576 + 575) / 576))" \
  "to $(((4608 * 1024 * 1024 / 16 / 16 + 576 + 1152 + 576) / 576))"

echo "== 8. Input analysis, 1 GiB against 1 MiB"
build-release/bench/analysis_bench "$audio/one-mib.wav" "$audio/one-gib.wav" --benchmark_format=json \
  --benchmark_min_time=0.5 >"$out/analysis.json" 2>/dev/null
python3 - "$out/analysis.json" <<'PY'
import json, sys
times = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
for mode in ("full", "probe"):
    s, l = times[f"AnalyzeInput/{mode}/small"], times[f"AnalyzeInput/{mode}/large"]
    print(f"{mode}: 1 MiB {s:.1f} ns, 1 GiB {l:.1f} ns: ratio {l / s:.3f} (goal <= 1.5)")
PY

echo "== 9. Batches of many small files"
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
