#!/usr/bin/env bash
# Output that cannot be opened or written, and cancelling with Ctrl-C.
source "$(dirname "$0")/lib.sh"

msg105="The output file could not be opened."
msg106="The output file could not be written completely."
msg112="The output file would overwrite the input file."

sox -n -r 44100 -b 16 -c 2 "$WORK/song.wav" synth 2 sine 440
cp "$WORK/song.wav" "$WORK/keep.wav"

encode --riff --dir "$WORK/no/such/folder" "$WORK/song.wav"
check "missing folder: status 1" [ "$status" -eq 1 ]
check "missing folder: message 105 ($errors)" grep -qF "$msg105" <<<"$errors"

encode --raw --output /dev/full --overwrite "$WORK/song.wav"
check "full disk: status 1" [ "$status" -eq 1 ]
check "full disk: message 106 ($errors)" grep -qF "$msg106" <<<"$errors"

# A real small filesystem that fills up: the partial file is kept.
mkdir "$WORK/tiny"
if mount -t tmpfs -o size=64k tmpfs "$WORK/tiny" 2>/dev/null; then
  sox -n -r 44100 -b 16 -c 2 "$WORK/long.wav" synth 30 sine 440
  encode --riff --output "$WORK/tiny/long.wav" "$WORK/long.wav"
  check "tiny filesystem: message 106 ($errors)" grep -qF "$msg106" <<<"$errors"
  check "tiny filesystem: partial file kept" [ -s "$WORK/tiny/long.wav" ]
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

# Ctrl-C cancels every running conversion; the outputs stay well formed.
for i in 1 2 3; do sox -n -r 44100 -b 16 -c 2 "$WORK/big$i.wav" synth 120 sine 300; done
mkdir "$WORK/cancel"
set +e
"$CANTRIX" --encode --riff --jobs 2 --dir "$WORK/cancel" "$WORK/big1.wav" "$WORK/big2.wav" "$WORK/big3.wav" \
  >"$WORK/stdout" 2>"$WORK/stderr" &
pid=$!
for _ in $(seq 100); do
  [ "$(ls "$WORK/cancel" | wc -l)" -ge 2 ] && break
  sleep 0.05
done
sleep 0.3
kill -INT "$pid"
wait "$pid"
status=$?
set -e
check "Ctrl-C: status 130 (got $status)" [ "$status" -eq 130 ]
check "Ctrl-C: third file not started" [ ! -e "$WORK/cancel/big3.wav" ]
for f in "$WORK"/cancel/*.wav; do
  n=$(u32 "$f" 68)
  check "$(basename "$f"): cancelled output is well formed" [ "$(u32 "$f" 4)" -eq $(( $(filesize "$f") - 8 )) ]
  check "$(basename "$f"): shorter than a full run" [ "$n" -lt 1600000 ]
  check "$(basename "$f"): readable" [ "$(probe "$f" stream=codec_name)" = mp3 ]
done

finish
