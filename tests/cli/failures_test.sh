#!/usr/bin/env bash
# Output that cannot be opened or written, and cancelling with Ctrl-C.
source "$(dirname "$0")/lib.sh"

msg105="The output file could not be opened."
msg106="The output file could not be written completely."
msg112="The output file would overwrite the input file."

sox -n -r 44100 -b 16 -c 2 "$WORK/song.wav" synth 2 sine 440
cp "$WORK/song.wav" "$WORK/keep.wav"

# Each message names the path concerned and the system's reason.
encode --riff --output "$WORK/no/such/folder/song.wav" "$WORK/song.wav"
check "missing folder: status 1" [ "$status" -eq 1 ]
check "missing folder: message 105, path and reason ($errors)" \
  grep -qF "$msg105 ($WORK/no/such/folder/song.wav: No such file or directory)" <<<"$errors"
encode --riff --dir "$WORK/new/folder" "$WORK/song.wav"
check "missing --dir: made with its parents ($errors)" [ -s "$WORK/new/folder/song.wav" ]
encode --riff --dir "$WORK/song.wav" "$WORK/song.wav"
check "--dir that is a file: usage error" [ "$status" -eq 2 ]
mkdir "$WORK/nothing"
encode --riff "$WORK/nothing"
check "a folder without .wav files: status 1" [ "$status" -eq 1 ]
check "a folder without .wav files: says so" grep -qF "no .wav files below this folder" <<<"$errors"

encode --raw --output /dev/full --overwrite "$WORK/song.wav"
check "full disk: status 1" [ "$status" -eq 1 ]
check "full disk: message 106 and why ($errors)" grep -qF "$msg106 (/dev/full: No space left on device)" <<<"$errors"

# A real small filesystem that fills up: nothing incomplete under the output's name.
mkdir "$WORK/tiny"
if mount -t tmpfs -o size=64k tmpfs "$WORK/tiny" 2>/dev/null; then
  sox -n -r 44100 -b 16 -c 2 "$WORK/long.wav" synth 30 sine 440
  encode --riff --output "$WORK/tiny/long.wav" "$WORK/long.wav"
  check "tiny filesystem: message 106 ($errors)" grep -qF "$msg106" <<<"$errors"
  check "tiny filesystem: nothing left behind" [ -z "$(ls -A "$WORK/tiny")" ]
  umount "$WORK/tiny"
else
  echo "note: cannot mount a tmpfs here; the /dev/full case covers message 106"
fi

# Never the input itself, also not through a link; it stays as it was.
ln -s "$WORK/song.wav" "$WORK/link.wav"
encode --riff --overwrite --output "$WORK/link.wav" "$WORK/song.wav"
check "output through a link to the input: message 112 ($errors)" grep -qF "$msg112" <<<"$errors"
check "input unchanged" cmp -s "$WORK/song.wav" "$WORK/keep.wav"

# An existing output is kept unless --overwrite is given.
echo precious >"$WORK/song.mp3"
encode --raw "$WORK/song.wav"
check "existing output refused" [ "$status" -eq 1 ]
check "existing output kept" grep -q precious "$WORK/song.mp3"
encode --raw --overwrite "$WORK/song.wav"
check "--overwrite replaces it" [ "$status" -eq 0 ]
check "replaced file is mp3" [ "$(probe "$WORK/song.mp3" stream=codec_name)" = mp3 ]

# Two inputs that name the same output in one run: the second is refused.
mkdir "$WORK/a" "$WORK/b" "$WORK/out"
cp "$WORK/song.wav" "$WORK/a/"; cp "$WORK/song.wav" "$WORK/b/"
encode --raw --dir "$WORK/out" "$WORK/a/song.wav" "$WORK/b/song.wav"
check "same output twice: one refused" [ "$status" -eq 1 ]
check "same output twice: message" grep -qF "another file of this run" <<<"$errors"
check "same output twice: the first converted" [ "$(probe "$WORK/out/song.mp3" stream=codec_name)" = mp3 ]

# Ctrl-C cancels every running conversion; none publishes anything, and --overwrite keeps the
# previous output.
for i in 1 2 3; do sox -n -r 44100 -b 16 -c 2 "$WORK/big$i.wav" synth 120 sine 300; done
mkdir "$WORK/cancel"
echo precious >"$WORK/cancel/big1.wav"
set +e
"$CANTRIX" --encode --riff --overwrite --jobs 2 --dir "$WORK/cancel" "$WORK/big1.wav" "$WORK/big2.wav" \
  "$WORK/big3.wav" >"$WORK/stdout" 2>"$WORK/stderr" &
pid=$!
until [ "$(ls -A "$WORK/cancel" | grep -c '^\.')" -ge 2 ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
kill -INT "$pid"
wait "$pid"
status=$?
set -e
check "Ctrl-C: status 130 (got $status)" [ "$status" -eq 130 ]
check "Ctrl-C: nothing published, no temporary file left ($(ls -A "$WORK/cancel"))" \
  [ "$(ls -A "$WORK/cancel")" = big1.wav ]
check "Ctrl-C: the previous output survives" grep -q precious "$WORK/cancel/big1.wav"
check "Ctrl-C: says so" grep -qF "big2.wav: cancelled; nothing was written to $WORK/cancel/big2.wav" "$WORK/stderr"
check "Ctrl-C: third file not started" grep -qF "big3.wav: not converted (interrupted)" "$WORK/stderr"

# A reader that closes standard output ends the run quietly, with the status SIGPIPE would give.
set +e; "$CANTRIX" --encode --output - "$WORK/big1.wav" 2>"$WORK/stderr" | head -c 1000 >/dev/null
status=${PIPESTATUS[0]}; set -e
check "closed standard output: status 141 (got $status)" [ "$status" -eq 141 ]
check "closed standard output: no message ($(cat "$WORK/stderr"))" [ ! -s "$WORK/stderr" ]

finish
