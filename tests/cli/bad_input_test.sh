#!/usr/bin/env bash
# Inputs that are not plain PCM WAV get the program's messages, and nothing is written.
source "$(dirname "$0")/lib.sh"

msg102="The given input file is either corrupted or not in .WAV format."
msg103="The selected .WAV file is not plain PCM data."
msg104="The input file could not be opened."

sox -n -r 44100 -b 16 -c 2 "$WORK/good.wav" synth 0.2 sine 440
ffmpeg -v error -f lavfi -i "sine=duration=0.2" -c:a adpcm_ima_wav -y "$WORK/adpcm.wav"
sox -n -r 8000 -c 1 -e a-law "$WORK/alaw.wav" synth 0.2 sine 440
ffmpeg -v error -f lavfi -i "sine=duration=0.2" -c:a pcm_s16le -f avi -y "$WORK/movie.wav"
echo "just some text, no RIFF header here" >"$WORK/text.wav"
head -c 30 "$WORK/good.wav" >"$WORK/truncated.wav"
: >"$WORK/empty.wav"
# "data" before "fmt ".
printf 'RIFF\x28\x00\x00\x00WAVEdata\x04\x00\x00\x00\x00\x00\x00\x00fmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00' >"$WORK/datafirst.wav"

expect_message() { # expect_message FILE TEXT
  local file=$1 text=$2 name out
  name=$(basename "$file" .wav)
  encode --raw --dir "$WORK/out" "$file"
  check "$name: status 1" [ "$status" -eq 1 ]
  check "$name: message ($errors)" grep -qF -- "$text" <<<"$errors"
  check "$name: nothing written" [ -z "$(ls -A "$WORK/out")" ]
}
mkdir "$WORK/out"
expect_message "$WORK/adpcm.wav" "$msg103"
expect_message "$WORK/alaw.wav" "$msg103"
expect_message "$WORK/movie.wav" "$msg102"
expect_message "$WORK/text.wav" "$msg102"
expect_message "$WORK/truncated.wav" "$msg102"
expect_message "$WORK/empty.wav" "$msg102"
expect_message "$WORK/datafirst.wav" "$msg102"
expect_message "$WORK/missing.wav" "$msg104"
# Not a regular file: a FIFO (which must not hang the open) and a device.
mkfifo "$WORK/fifo.wav"
expect_message "$WORK/fifo.wav" "$msg104"
expect_message /dev/null "$msg104"

# One bad file among good ones: the others still convert.
encode --raw --dir "$WORK/out" "$WORK/good.wav" "$WORK/text.wav"
check "mixed run reports failure" [ "$status" -eq 1 ]
check "good file of a mixed run converted" [ -s "$WORK/out/good.mp3" ]

# Usage errors: the problem and where help is, in at most three lines.
for args in "" "--preset best $WORK/good.wav" "--output a.mp3 $WORK/good.wav $WORK/good.wav" "--jobs 0 x.wav" \
  "--bogus x.wav" "--overwrite --skip-existing x.wav" "- -" "--raw -" "--output a.mp3 $WORK/out"; do
  encode $args
  check "usage error for '$args'" [ "$status" -eq 2 ]
  check "usage error for '$args' is short ($errors)" [ "$(wc -l <<<"$errors")" -le 3 ]
  check "usage error for '$args' says where help is" [ "$(tail -n1 <<<"$errors")" = "Try 'cantrix --encode --help'." ]
done

finish
