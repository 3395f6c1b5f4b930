#!/usr/bin/env bash
# A batch run meets kills, a full disk, a second run at once and inputs that change: whatever
# happens, every file under an output's name is complete, no temporary file outlives the next
# run, and no input is written over.
source "$(dirname "$0")/lib.sh"

music="$WORK/music" out="$WORK/out"
mkdir -p "$music" "$out"
declare -A want # input name -> decoded sample frames
for i in $(seq -w 1 20); do
  sox -n -r 44100 -b 16 -c 2 "$music/f$i.wav" synth "$((1 + 10#$i % 3)).$i" sine $((200 + 10#$i * 20))
done
for f in "$music"/*.wav; do want[$(basename "$f" .wav)]=$(($(ffmpeg -v error -i "$f" -f s16le -ac 1 - | wc -c) / 2)); done
frames() { echo $(($(mpg123 -q -m -s "$1" | wc -c) / 2)); }

batch=(--encode --riff --jobs 2 --threads 2 --skip-existing --dir "$out" "$music")
batch() { "$CANTRIX" "${batch[@]}"; }
temporaries() { find "$out" -name '.*' | wc -l; }
# Every output published decodes to its input's length, give or take two frames; $1: how many.
complete() {
  local f name n count=0
  for f in "$out"/*.wav; do
    [ -e "$f" ] || continue
    name=$(basename "$f" .wav) n=$(frames "$f") count=$((count + 1))
    if ((n < want[$name] - 2304 || n > want[$name] + 2304)); then
      echo "incomplete: $f ($n of ${want[$name]} frames)" >&2
      return 1
    fi
  done
  [ -z "${1:-}" ] || [ "$count" -eq "$1" ]
}
rerun_completes() { # rerun_completes FAULT: the same command again finishes the batch
  set +e; batch >/dev/null 2>"$WORK/rerun.err"; status=$?; set -e
  check "$1, re-run: status 0 ($(cat "$WORK/rerun.err"))" [ "$status" -eq 0 ]
  check "$1, re-run: all 20 outputs complete" complete 20
  check "$1, re-run: no temporary file left" [ "$(temporaries)" -eq 0 ]
}

# Kills at random moments: once a random number of outputs are published, or when the run ends.
for signal in KILL KILL KILL TERM TERM HUP; do
  rm -rf "$out" && mkdir "$out"
  wanted=$((RANDOM % 20))
  set +e
  "$CANTRIX" "${batch[@]}" >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && [ "$(ls "$out" | wc -l)" -lt "$wanted" ]; do sleep 0.01; done
  kill -"$signal" "$pid" 2>/dev/null
  wait "$pid"
  status=$?
  set -e
  code=$((128 + $(kill -l "$signal")))
  check "SIG$signal after $wanted: status $code or 0 (got $status)" [ "$status" -eq "$code" -o "$status" -eq 0 ]
  check "SIG$signal after $wanted: what is published is complete" complete
  [ "$signal" = KILL ] || check "SIG$signal: no temporary file left" [ "$(temporaries)" -eq 0 ]
  rerun_completes "SIG$signal after $wanted"
done

# A full disk: a small tmpfs, or where none can be mounted, a file size limit (SIGXFSZ ignored).
rm -rf "$out" && mkdir "$out"
if mount -t tmpfs -o size=256k tmpfs "$out" 2>/dev/null; then
  set +e; batch >/dev/null 2>"$WORK/err"; status=$?; set -e
  reason="No space left on device"
  mount -o remount,size=8m "$out"
else
  set +e; (ulimit -f 32 && batch >/dev/null 2>"$WORK/err"); status=$?; set -e
  reason="File too large"
fi
check "full disk: status 1 (got $status)" [ "$status" -eq 1 ]
check "full disk: message 106 with path and reason" grep -qF "could not be written completely. ($out/" "$WORK/err"
check "full disk: says why" grep -qF "$reason)" "$WORK/err"
check "full disk: what is published is complete" complete
check "full disk: no temporary file left" [ "$(temporaries)" -eq 0 ]
rerun_completes "full disk"
mountpoint -q "$out" && umount "$out"

# Two runs at once never take each other's unfinished files for outputs.
rm -rf "$out" && mkdir "$out"
set +e; "$CANTRIX" "${batch[@]}" >/dev/null 2>&1 & first=$!; batch >/dev/null 2>&1; second=$?; wait "$first"; first=$?; set -e
check "two runs at once: both status 0 ($first, $second)" [ "$first" -eq 0 -a "$second" -eq 0 ]
check "two runs at once: all 20 outputs complete" complete 20
check "two runs at once: no temporary file left" [ "$(temporaries)" -eq 0 ]

# A temporary file is removed only when no run holds it: here this shell holds its lock.
live="$out/.f01.wav.cantrix-1-0.part" dead="$out/.f02.wav.cantrix-2-0.part"
touch -d '1 hour ago' "$live" "$dead" "$out/.notes.part"
exec 7<"$live"
flock 7
rm "$out/f01.wav" "$out/f02.wav"
set +e; batch >/dev/null 2>&1; set -e
exec 7<&-
check "the locked temporary file of a live run stays" [ -e "$live" ]
check "the temporary file of an ended run is removed" [ ! -e "$dead" ]
check "a hidden file of another pattern stays" [ -e "$out/.notes.part" ]

# A folder with PCM "s.wav" and "s Layer-3.wav": no output replaces an input of the run.
mkdir "$WORK/x"
cp "$music/f01.wav" "$WORK/x/s.wav"
cp "$music/f02.wav" "$WORK/x/s Layer-3.wav"
encode --riff --overwrite --jobs 2 "$WORK/x"
check "s.wav beside s Layer-3.wav: status 1" [ "$status" -eq 1 ]
check "s.wav beside s Layer-3.wav: the PCM input is untouched" cmp -s "$WORK/x/s Layer-3.wav" "$music/f02.wav"
check "s.wav beside s Layer-3.wav: message 112" grep -qF "s.wav: The output file would overwrite the input" <<<"$errors"

# The same folder twice with the defaults: the outputs beside the inputs are left out.
mkdir "$WORK/z" && cp "$music/f0"[1-3].wav "$WORK/z/"
encode --skip-existing "$WORK/z"
check "folder, first run: status 0 ($errors)" [ "$status" -eq 0 ]
stat -c '%n %i %Y' "$WORK"/z/* >"$WORK/before"
encode --skip-existing "$WORK/z"
check "folder, second run: status 0 ($errors)" [ "$status" -eq 0 ]
check "folder, second run: counts its outputs" grep -qx "3 already encoded: Layer-3 files in the folders, left out" "$WORK/stdout"
check "folder, second run: writes nothing" cmp -s "$WORK/before" <(stat -c '%n %i %Y' "$WORK"/z/*)

# An input truncated by another program while it is converted fails and publishes nothing.
sox -n -r 44100 -b 16 -c 2 "$WORK/long.wav" synth 300 sine 300
mkdir "$WORK/t"
set +e
"$CANTRIX" --encode --raw --threads 1 --dir "$WORK/t" "$WORK/long.wav" 2>"$WORK/err" >/dev/null &
pid=$!
until [ -n "$(ls -A "$WORK/t")" ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
truncate -s 20000000 "$WORK/long.wav"
wait "$pid"
status=$?
set -e
check "input truncated mid-run: status 1 (got $status)" [ "$status" -eq 1 ]
check "input truncated mid-run: says so" grep -qF "the input changed while it was being converted" "$WORK/err"
check "input truncated mid-run: nothing published" [ -z "$(ls -A "$WORK/t")" ]
# Short from the start: converted as far as it goes, with a warning.
encode --raw --dir "$WORK/t" "$WORK/long.wav"
check "short from the start: status 0" [ "$status" -eq 0 ]
check "short from the start: one warning ($errors)" grep -qF "holds 113.4 s of the 300.0 s of audio" <<<"$errors"

finish
