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

# What lies under an output's name: a link is replaced as a name, never followed; --skip-existing
# counts only a regular file that holds something.
mkdir -p "$WORK/names/out" "$WORK/names/elsewhere"
echo thesis >"$WORK/names/elsewhere/thesis.odt"
ln -s ../elsewhere/thesis.odt "$WORK/names/out/linked.mp3"
ln -s ../elsewhere/created.odt "$WORK/names/out/dangling.mp3"
mkdir "$WORK/names/out/folder.mp3"
: >"$WORK/names/out/empty.mp3"
for name in linked dangling folder empty; do cp "$music/f01.wav" "$WORK/names/$name.wav"; done
names() { for name in "$@"; do echo "$WORK/names/$name.wav"; done; }
encode --raw --overwrite --dir "$WORK/names/out" $(names linked dangling)
check "planted links, --overwrite: status 0 ($errors)" [ "$status" -eq 0 ]
check "planted links: the link's target is unchanged" [ "$(cat "$WORK/names/elsewhere/thesis.odt")" = thesis ]
check "planted links: no target is created" [ ! -e "$WORK/names/elsewhere/created.odt" ]
for name in linked dangling; do
  check "planted link $name: the name holds a regular Layer-3 file" \
    [ ! -L "$WORK/names/out/$name.mp3" -a "$(probe "$WORK/names/out/$name.mp3" stream=codec_name)" = mp3 ]
done
ln -sfn ../elsewhere/created.odt "$WORK/names/out/dangling.mp3"
encode --raw --skip-existing --dir "$WORK/names/out" $(names linked dangling folder empty)
check "--skip-existing over odd names: status 1" [ "$status" -eq 1 ]
check "--skip-existing: a complete output is skipped" grep -qF "linked.mp3 (exists, skipped)" "$WORK/stdout"
check "--skip-existing: a dangling link fails with path and reason ($errors)" \
  grep -qF "dangling.mp3: a link that leads nowhere)" <<<"$errors"
check "--skip-existing: a folder fails with path and reason" grep -qF "folder.mp3: Is a directory)" <<<"$errors"
check "--skip-existing: an empty file is replaced" [ "$(probe "$WORK/names/out/empty.mp3" stream=codec_name)" = mp3 ]

# A link planted where a sub-folder of the conversion directory goes is not followed.
mkdir -p "$WORK/names/tree/sub" "$WORK/names/mirror"
cp "$music/f01.wav" "$WORK/names/tree/sub/"
ln -s ../elsewhere "$WORK/names/mirror/sub"
encode --raw --dir "$WORK/names/mirror" "$WORK/names/tree"
check "a link as a mirrored sub-folder: status 1, path and reason ($errors)" \
  grep -qF "mirror/sub: not a folder (a link there is not followed))" <<<"$errors"
check "a link as a mirrored sub-folder: nothing written where it leads" [ ! -e "$WORK/names/elsewhere/f01.mp3" ]

# A file named twice is converted once; the second mention says so.
encode --raw --overwrite --dir "$WORK/names/out" $(names empty empty) "$WORK/names/./empty.wav"
check "named twice: status 0 ($errors)" [ "$status" -eq 0 ]
check "named twice: converted once" [ "$(grep -c '(112 kBit/s' "$WORK/stdout")" -eq 1 ]
check "named twice: the other mentions say so" [ "$(grep -c '(named twice' "$WORK/stdout")" -eq 2 ]

# An input rewritten in place with its modification time put back: the change time tells.
set +e
"$CANTRIX" --encode --raw --threads 1 --overwrite --output "$WORK/t/rewritten.mp3" "$WORK/long.wav" 2>"$WORK/err" >/dev/null &
pid=$!
until [ -n "$(ls -A "$WORK/t" | grep '^\.')" ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
mtime=$(stat -c %y "$WORK/long.wav")
printf 'x' | dd of="$WORK/long.wav" bs=1 seek=100000 conv=notrunc status=none
touch -d "$mtime" "$WORK/long.wav"
wait "$pid"
status=$?
set -e
check "input rewritten, modification time put back: status 1 (got $status)" [ "$status" -eq 1 ]
check "input rewritten, modification time put back: says so" grep -qF "the input changed" "$WORK/err"

# Standard input cut short gets the warning of a file cut short, and the same status.
head -c 100000 "$music/f01.wav" >"$WORK/cut.wav"
encode --raw --overwrite --output "$WORK/cut.mp3" "$WORK/cut.wav"
file_status=$status file_warning=$(grep -o 'the file holds.*' <<<"$errors")
set +e; errors=$("$CANTRIX" --encode --raw --overwrite --output "$WORK/cut.mp3" - <"$WORK/cut.wav" 2>&1 >/dev/null); status=$?; set -e
check "standard input cut short: the file's warning ($file_warning)" grep -qF "$file_warning" <<<"$errors"
check "standard input cut short: the file's status ($file_status)" [ "$status" -eq "$file_status" ]

# Standard output by any name: the stream alone goes there, every message to standard error.
"$CANTRIX" --encode --raw --output - "$music/f01.wav" 2>/dev/null | cat >"$WORK/dash.mp3"
for name in /dev/stdout /dev/fd/1 /proc/self/fd/1; do
  set +e; "$CANTRIX" --encode --raw --output "$name" "$music/f01.wav" 2>"$WORK/err" | cat >"$WORK/named.mp3"; set -e
  check "--output $name into a pipe: the stream of --output -" cmp -s "$WORK/named.mp3" "$WORK/dash.mp3"
  check "--output $name into a pipe: the summary on standard error" grep -qF "f01.wav -> -" "$WORK/err"
done

# A stop ends a run whose output is blocked, with the signal's status, publishing nothing: a
# reader that stopped reading (a FIFO this shell holds open and never reads), and a FIFO nobody
# opens.
ended() { # ended PID: waits up to 10 s; $status is its exit status, or "still running" (then killed)
  local i
  for i in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then
    kill -9 "$1"; wait "$1" || true; status="still running"
  else
    set +e; wait "$1"; status=$?; set -e
  fi
}
mkdir "$WORK/blocked"
mkfifo "$WORK/blocked/stalled" "$WORK/blocked/fifo.mp3"
exec 8<>"$WORK/blocked/stalled"
for signal in INT TERM HUP; do
  for output in - "$WORK/blocked/fifo.mp3"; do
    set +e
    "$CANTRIX" --encode --raw --overwrite --output "$output" "$WORK/long.wav" >"$WORK/blocked/stalled" 2>/dev/null &
    pid=$!
    sleep 0.5
    kill -"$signal" "$pid"
    set -e
    code=$((128 + $(kill -l "$signal")))
    ended "$pid"
    check "SIG$signal with the output blocked ($output): status $code (got $status)" [ "$status" = "$code" ]
    check "SIG$signal with the output blocked ($output): nothing published" \
      [ "$(ls -A "$WORK/blocked" | tr '\n' ' ')" = "fifo.mp3 stalled " -a -p "$WORK/blocked/fifo.mp3" ]
  done
done
exec 8<&-

finish
