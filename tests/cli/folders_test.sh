#!/usr/bin/env bash
# Folders as inputs: every .wav file below, outputs mirrored below the conversion directory, and
# --skip-existing runs that convert only what is new.
source "$(dirname "$0")/lib.sh"

tree="$WORK/tree"
mkdir -p "$tree/a/b" "$tree/c" "$WORK/out"
sox -n -r 22050 -b 16 -c 1 "$tree/top.wav" synth 0.3 sine 440
cp "$tree/top.wav" "$tree/a/one.wav"
cp "$tree/top.wav" "$tree/a/b/TWO.WAV"
echo "not audio" >"$tree/c/notes.txt"
ln -s .. "$tree/a/b/loop"
ln -s ../top.wav "$tree/c/link.wav"
outputs() { (cd "$WORK/out" && find . -type f | sort | tr '\n' ' '); }
expected="./a/b/TWO.mp3 ./a/one.mp3 ./c/link.mp3 ./top.mp3 "

encode --raw --dir "$WORK/out" "$tree"
check "folder: status 0 ($errors)" [ "$status" -eq 0 ]
check "folder: exactly the mirrored outputs ($(outputs))" [ "$(outputs)" = "$expected" ]
check "folder: sorted, depth first" [ "$(cut -d' ' -f1 "$WORK/stdout" | head -n4 | tr '\n' ' ')" = \
  "$tree/a/b/TWO.WAV $tree/a/one.wav $tree/c/link.wav $tree/top.wav " ]
check "folder: a last line sums up ($(tail -n1 "$WORK/stdout"))" \
  grep -qx "4 files converted: 0:01 of audio in 0:0[0-9]" <(tail -n1 "$WORK/stdout")
check "folder: every output is mp3" [ "$(probe "$WORK/out/a/b/TWO.mp3" stream=codec_name)" = mp3 ]

stat -c '%n %i %Y' "$WORK"/out/*/*.mp3 "$WORK"/out/*.mp3 >"$WORK/before"
sleep 1
encode --raw --dir "$WORK/out" --skip-existing "$tree"
check "again with --skip-existing: status 0 ($errors)" [ "$status" -eq 0 ]
stat -c '%n %i %Y' "$WORK"/out/*/*.mp3 "$WORK"/out/*.mp3 >"$WORK/after"
check "again with --skip-existing: nothing rewritten" cmp -s "$WORK/before" "$WORK/after"
cp "$tree/top.wav" "$tree/c/new.wav"
encode --raw --dir "$WORK/out" --skip-existing "$tree"
check "one WAV added: status 0" [ "$status" -eq 0 ]
check "one WAV added: only it converted ($(grep -v skipped "$WORK/stdout"))" \
  [ "$(grep -v skipped "$WORK/stdout")" = "$tree/c/new.wav -> $WORK/out/c/new.mp3 (112 kBit/s, 22050 Hz, Mono)" ]
encode --raw --dir "$WORK/out" "$tree"
check "without --skip-existing the existing outputs fail" [ "$status" -eq 1 ]

# Without a conversion directory each output goes beside its input; two inputs that would write one
# output are refused.
encode --riff "$tree/a"
check "beside the inputs ($errors)" [ -f "$tree/a/one Layer-3.wav" -a -f "$tree/a/b/TWO Layer-3.WAV" ]
mkdir -p "$WORK/twins/x" "$WORK/twins/y"
cp "$tree/top.wav" "$WORK/twins/x/same.wav"; cp "$tree/top.wav" "$WORK/twins/y/same.wav"
encode --raw --dir "$WORK/out" "$WORK/twins/x" "$WORK/twins/y"
check "two folders, one output name: one refused ($errors)" grep -qF "another file of this run" <<<"$errors"

# An interrupted --skip-existing run leaves no partial output that the next run would skip.
mkdir "$WORK/big"
sox -n -r 44100 -b 16 -c 2 "$WORK/big/long.wav" synth 300 sine 300
set +e
"$CANTRIX" --encode --raw --skip-existing --dir "$WORK/out" "$WORK/big" >/dev/null 2>"$WORK/stderr" &
pid=$!
until [ -n "$(ls -A "$WORK/out" | grep '^\.')" ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
kill -INT "$pid"
wait "$pid"
status=$?
set -e
check "Ctrl-C: status 130 (got $status)" [ "$status" -eq 130 ]
check "Ctrl-C with --skip-existing: nothing under the output's name" [ ! -e "$WORK/out/long.mp3" ]
check "Ctrl-C with --skip-existing: no temporary file left" [ -z "$(ls -A "$WORK/out" | grep '^\.')" ]

# A --skip-existing re-run with nothing to do needs the same memory over 20,000 files as over 100:
# what it keeps of each file is a few bytes.
peak() { # peak FOLDER: the peak memory (KiB) of a --skip-existing run over it, in $rss
  set +e; command time -f %M -o "$WORK/rss" "$CANTRIX" --encode --raw --quiet --skip-existing --dir "$WORK/many/out" "$1"
  status=$?; set -e
  rss=$(cat "$WORK/rss")
}
# Tens of thousands of files are made and removed in memory where a tmpfs can be mounted.
mkdir "$WORK/many"
mount -t tmpfs -o size=256m tmpfs "$WORK/many" 2>/dev/null && at_exit+='umount "$WORK/many" || true;'
mkdir "$WORK/many/out" "$WORK/many/few" "$WORK/many/all"
files() { seq "$1" | split -l 1 -d -a 5 --additional-suffix="$2" - "$3/"; } # files COUNT SUFFIX FOLDER
files 20000 .wav "$WORK/many/all"
files 20000 .mp3 "$WORK/many/out"
files 100 .wav "$WORK/many/few"
peak "$WORK/many/few"
few=$rss
peak "$WORK/many/all"
check "20,000 files skipped: status 0" [ "$status" -eq 0 ]
check "20,000 files skipped: peak memory within 10% of 100 files' ($rss KiB against $few KiB)" \
  [ $((rss * 10)) -le $((few * 11)) ]

finish
