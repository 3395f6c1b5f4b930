#!/usr/bin/env bash
# Our outputs read by tools we did not write, and inputs they made converted by us.
source "$(dirname "$0")/lib.sh"

sox -n -r 44100 -b 16 -c 2 "$WORK/tone.wav" synth 3 sine 440 gain -6

# The same stream raw and inside RIFF/WAVE.
encode --format "128 kBit/s, 44100 Hz, Stereo" --raw --output "$WORK/tone.mp3" "$WORK/tone.wav"
check "raw conversion succeeds ($errors)" [ "$status" -eq 0 ]
encode --format "128 kBit/s, 44100 Hz, Stereo" --riff --output "$WORK/tone-l3.wav" "$WORK/tone.wav"
check "RIFF conversion succeeds ($errors)" [ "$status" -eq 0 ]

for f in "$WORK/tone.mp3" "$WORK/tone-l3.wav"; do
  check "$f is mp3" [ "$(probe "$f" stream=codec_name)" = mp3 ]
  check "$f rate" [ "$(probe "$f" stream=sample_rate)" = 44100 ]
  check "$f channels" [ "$(probe "$f" stream=channels)" = 2 ]
  check "$f bit rate" [ "$(probe "$f" stream=bit_rate)" = 128000 ]
done
check "RIFF tag is 0x0055" [ "$(probe "$WORK/tone-l3.wav" stream=codec_tag)" = 0x0055 ]

# Duration within one frame (1152 samples) plus the encoder delay (576) of the input's 3 s.
duration=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/tone.mp3")
check "frame count covers the input ($duration frames)" \
  awk -v n="$duration" 'BEGIN { s = n * 1152; exit !(s >= 132300 && s <= 132300 + 1152 + 576 + 1152) }'
check "mpg123 decodes the raw stream without an error" \
  bash -c "mpg123 -q -w '$WORK/decoded.wav' '$WORK/tone.mp3' 2>'$WORK/mpg123.err' && [ ! -s '$WORK/mpg123.err' ]"

# Byte-exact layout: fmt 32 bytes, fact holds the sample frames, data = the raw stream.
w="$WORK/tone-l3.wav"
n=$(u32 "$w" 68)
check "RIFF size" [ "$(u32 "$w" 4)" -eq $((64 + n + n % 2)) ]
check "file length" [ "$(filesize "$w")" -eq $((72 + n + n % 2)) ]
check "chunk order" [ "$(fourcc "$w" 12)$(fourcc "$w" 52)$(fourcc "$w" 64)" = "fmt factdata" ]
check "fmt is 32 bytes" [ "$(u32 "$w" 16)" -eq 32 ]
check "cbSize 12" [ "$(u16 "$w" 36)" -eq 12 ]
check "fact holds the sample frames" [ "$(u32 "$w" 60)" -eq $((3 * 44100)) ]
check "raw file's frames equal the data payload" cmp -s <(tail -c +73 "$w" | head -c "$n") <(without_tag "$WORK/tone.mp3")

# Players take the length from "fact": a 30 s input lasts 30 s at every MPEG version.
sox -n -r 44100 -b 16 -c 2 "$WORK/30s.wav" synth 30 sine 440 gain -6
for format in "128 kBit/s, 44100 Hz, Stereo" "64 kBit/s, 22050 Hz, Stereo" "16 kBit/s, 11025 Hz, Mono"; do
  encode --format "$format" --riff --overwrite --output "$WORK/30s-l3.wav" "$WORK/30s.wav"
  seconds=$(probe "$WORK/30s-l3.wav" format=duration)
  check "$format: ffprobe says 30 s ($seconds)" awk -v s="$seconds" 'BEGIN { exit !(s >= 29.9 && s <= 30.1) }'
done

# Inputs written by sox and ffmpeg, in every width and at many rates, convert. sox's wavpcm type
# writes tag 1; WAVE_FORMAT_EXTENSIBLE follows below.
for bits in 8 16 24 32; do
  for rate in 8000 11025 22050 32000 44100 48000 96000; do
    for channels in 1 2; do
      in="$WORK/in-$bits-$rate-$channels.wav"
      sox -n -r "$rate" -b "$bits" -c "$channels" -t wavpcm "$in" synth 0.5 sine 1000 gain -6
      encode --raw --preset lowest --output "$WORK/out.mp3" --overwrite "$in"
      check "sox $bits bit $rate Hz $channels ch converts ($errors)" [ "$status" -eq 0 ]
      check "sox $bits bit $rate Hz output is mp3" [ "$(probe "$WORK/out.mp3" stream=codec_name)" = mp3 ]
    done
  done
done
for codec in pcm_u8 pcm_s16le; do
  ffmpeg -v error -f lavfi -i "sine=frequency=500:duration=0.5:sample_rate=22050" -ac 2 -c:a "$codec" -y "$WORK/ff.wav"
  encode --riff --output "$WORK/ff-out.wav" --overwrite "$WORK/ff.wav"
  check "ffmpeg $codec converts ($errors)" [ "$status" -eq 0 ]
  check "ffmpeg $codec output rate" [ "$(probe "$WORK/ff-out.wav" stream=sample_rate)" = 22050 ]
done

# WAVE_FORMAT_EXTENSIBLE, which both tools write for more than 16 bits, more than two channels and
# (ffmpeg) rates above 48 kHz: with the PCM or float sub-format it converts to the bytes of its
# twin of tag 1 or 3; a channel count the codec cannot take gets a message that names it.
declare -A message=(
  [117]="The selected .WAV file has 4 channels; the Layer-3 codec takes at most 2 (stereo)."
)
sine=(-f lavfi -i "sine=frequency=440:duration=1")
plain_twin() { # plain_twin IN OUT: IN with its "fmt " as the 16-byte record of its sub-format's tag
  /usr/bin/python3 - "$1" "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.index(b"fmt ")
size = struct.unpack_from("<I", data, at + 4)[0]
record = data[at + 32:at + 34] + data[at + 10:at + 24]  # the sub-format GUID begins with the tag
body = data[12:at] + b"fmt " + struct.pack("<I", 16) + record + data[at + 8 + size + (size & 1):]
open(sys.argv[2], "wb").write(b"RIFF" + struct.pack("<I", len(body) + 4) + b"WAVE" + body)
PY
}
while read -r name expected command; do
  eval "$command" </dev/null # ffmpeg would read the table
  check "$name is WAVE_FORMAT_EXTENSIBLE" [ "$(u16 "$WORK/ext.wav" 20)" -eq 65534 ]
  encode --raw --overwrite --output "$WORK/ext.mp3" "$WORK/ext.wav"
  if [ "$expected" = converts ]; then
    check "$name converts ($errors)" [ "$status" -eq 0 ]
    plain_twin "$WORK/ext.wav" "$WORK/twin.wav"
    encode --raw --overwrite --output "$WORK/twin.mp3" "$WORK/twin.wav"
    check "$name gives the stream of its plain twin" cmp -s "$WORK/ext.mp3" "$WORK/twin.mp3"
  else
    check "$name: status 1" [ "$status" -eq 1 ]
    check "$name: message $expected ($errors)" grep -qF -- "${message[$expected]}" <<<"$errors"
  fi
done <<'EOF'
sox-24-bit converts sox -n -r 48000 -c 2 -b 24 "$WORK/ext.wav" synth 1 sine 440 gain -6
sox-32-bit-mono converts sox -n -r 8000 -c 1 -b 32 "$WORK/ext.wav" synth 1 sine 440 gain -6
ffmpeg-24-bit converts ffmpeg -v error "${sine[@]}" -ac 2 -ar 48000 -c:a pcm_s24le -y "$WORK/ext.wav"
ffmpeg-32-bit converts ffmpeg -v error "${sine[@]}" -ac 2 -ar 44100 -c:a pcm_s32le -y "$WORK/ext.wav"
ffmpeg-96-kHz-16-bit converts ffmpeg -v error "${sine[@]}" -ac 2 -ar 96000 -c:a pcm_s16le -y "$WORK/ext.wav"
sox-4-channels 117 sox -n -r 44100 -c 4 -b 16 "$WORK/ext.wav" synth 1 sine 440
ffmpeg-float converts ffmpeg -v error "${sine[@]}" -ac 2 -c:a pcm_f32le -y "$WORK/ext.wav"
EOF

finish
