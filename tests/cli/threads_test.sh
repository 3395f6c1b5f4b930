#!/usr/bin/env bash
# One long file split over the encoder threads: the same bytes for every --threads, a stream that
# mpg123 and ffmpeg decode without a complaint, and the frames of a serial encode by lame.
source "$(dirname "$0")/lib.sh"

sox -n -r 44100 -b 16 -c 2 "$WORK/long.wav" synth 40 pinknoise vol 0.3 synth 40 sine amod 3 fade 0 40 0.5
lame --quiet --noreplaygain -b 128 "$WORK/long.wav" "$WORK/lame.mp3"
frames() { ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
ffmpeg_complaints() { ffmpeg -v warning -i "$1" -f null - 2>&1 || true; }

for format in "128 kBit/s, 44100 Hz, Stereo" "64 kBit/s, 22050 Hz, Stereo" "48 kBit/s, 11025 Hz, Mono"; do
  encode --raw --format "$format" --output "$WORK/default.mp3" --overwrite "$WORK/long.wav"
  check "$format: converts ($errors)" [ "$status" -eq 0 ]
  encode --raw --threads 1 --format "$format" --output "$WORK/one.mp3" --overwrite "$WORK/long.wav"
  check "$format: --threads 1 converts ($errors)" [ "$status" -eq 0 ]
  check "$format: --threads 1 writes the same bytes" cmp -s "$WORK/default.mp3" "$WORK/one.mp3"
  check "$format: mpg123 decodes without a complaint" \
    bash -c "mpg123 -q -w '$WORK/decoded.wav' '$WORK/default.mp3' 2>'$WORK/mpg123.err' && [ ! -s '$WORK/mpg123.err' ]"
  complaints=$(ffmpeg_complaints "$WORK/default.mp3")
  check "$format: ffmpeg decodes without a complaint ($complaints)" [ -z "$complaints" ]
done

encode --raw --format "128 kBit/s, 44100 Hz, Stereo" --output "$WORK/ours.mp3" "$WORK/long.wav"
check "as many frames as lame's serial encode" [ "$(frames "$WORK/ours.mp3")" -eq "$(frames "$WORK/lame.mp3")" ]
check "as many bytes as lame's serial encode" [ "$(filesize "$WORK/ours.mp3")" -eq "$(filesize "$WORK/lame.mp3")" ]
encode --riff --format "128 kBit/s, 44100 Hz, Stereo" --output "$WORK/ours.wav" "$WORK/long.wav"
n=$(u32 "$WORK/ours.wav" 68)
check "RIFF payload is the raw stream's frames" cmp -s <(tail -c +73 "$WORK/ours.wav" | head -c "$n") <(without_tag "$WORK/ours.mp3")
check "RIFF sizes" [ "$(u32 "$WORK/ours.wav" 4)" -eq $((64 + n + n % 2)) ]
check "usage: --threads 0 is refused" bash -c "! '$CANTRIX' --encode --threads 0 '$WORK/long.wav' 2>/dev/null"

finish
