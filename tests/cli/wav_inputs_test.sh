#!/usr/bin/env bash
# The WAV files that editors, recorders and converters write, made by sox and ffmpeg: float, RF64,
# Wave64, a recording whose sizes were never written, rates between the Layer-3 rates, and what
# cannot be converted. Each converts to the length of its audio ("fact", and the frames ffprobe
# counts) or gets the message that says what is wrong; a float file decodes as close to its audio as
# the same audio in 24-bit PCM does.
source "$(dirname "$0")/lib.sh"
HERE=$(cd "$(dirname "$0")" && pwd)

declare -A message=(
  [115]="The selected .WAV file holds no audio data."
  [116]="The selected .WAV file has 3 channels; the Layer-3 codec takes at most 2 (stereo)."
  [119]="The selected .WAV file has 6 channels; the Layer-3 codec takes at most 2 (stereo)."
)
# Two seconds of a sweep, which lines up with its decoding at one offset only.
tone() { sox -n -r "$1" -c "$2" "${@:3}" "$in" synth 2 sine 200-3000 gain -6; }
ffsine=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*(200+700*t)*t):d=2")
# The sizes of a sox file that a recorder which lost power leaves: RIFF and data 0.
unwritten() { tone 44100 2 -b 16 && printf '\0\0\0\0' | dd of="$in" bs=1 seek=4 conv=notrunc status=none &&
  printf '\0\0\0\0' | dd of="$in" bs=1 seek=40 conv=notrunc status=none; }

# name | seconds, or the message | output rate | a warning | how the input is made
while IFS='|' read -r name expected rate warning command; do
  in="$WORK/$name.wav"
  eval "$command" </dev/null # ffmpeg would read the table
  out="$WORK/$name-out.wav"
  encode --riff --preset isdn --output "$out" "$in"
  if [ -n "${message[$expected]:-}" ]; then
    check "$name: status 1" [ "$status" -eq 1 ]
    check "$name: message $expected ($errors)" grep -qF -- "${message[$expected]}" <<<"$errors"
    check "$name: nothing written" [ ! -e "$out" ]
    continue
  fi
  check "$name: converts ($errors)" [ "$status" -eq 0 ]
  check "$name: $rate Hz" [ "$(probe "$out" stream=sample_rate)" = "$rate" ]
  # "fact" holds the input's length at the output's rate; the frames that ffprobe counts hold it
  # with the encoder's delay (576) in front and at most a frame and a granule of padding behind.
  check "$name: fact says $expected s ($(u32 "$out" 60))" [ "$(u32 "$out" 60)" -eq $((expected * rate)) ]
  frames=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out")
  samples=$((frames * (rate >= 32000 ? 1152 : 576)))
  check "$name: $frames frames hold $expected s" awk -v n="$samples" -v e=$((expected * rate + 576)) \
    'BEGIN { exit !(n >= e && n <= e + 1152 + 576) }'
  if [ "$warning" = - ]; then
    check "$name: no warning ($errors)" [ -z "$errors" ]
  else
    check "$name: one warning, '$warning' ($errors)" [ "$(grep -cF -- "$warning" <<<"$errors")" -eq 1 ]
  fi
  [[ $name == float* ]] || continue
  # The same audio as 24-bit PCM, converted to the same format: both decode alike.
  sox "$in" -b 24 -e signed -D "$WORK/twin.wav"
  encode --riff --overwrite --preset isdn --output "$WORK/twin-out.wav" "$WORK/twin.wav"
  sox "$in" -b 16 -e signed -D "$WORK/source16.wav" rate "$rate"
  mpg123 -q -w "$WORK/decoded.wav" "$out"
  mpg123 -q -w "$WORK/twin-decoded.wav" "$WORK/twin-out.wav"
  float=$(/usr/bin/python3 "$HERE/decoded_snr.py" "$WORK/source16.wav" "$WORK/decoded.wav")
  twin=$(/usr/bin/python3 "$HERE/decoded_snr.py" "$WORK/source16.wav" "$WORK/twin-decoded.wav")
  echo "$name: decodes at $float dB SNR, its 24-bit twin at $twin dB"
  check "$name: decodes at $float dB SNR, its PCM twin at $twin dB" \
    awk -v f="$float" -v t="$twin" 'BEGIN { exit !(t > 15 && f > t - 0.5 && f < t + 0.5) }'
done <<'EOF_TABLE'
float32-sox-44100-stereo|2|44100|-|tone 44100 2 -b 32 -e float
float64-sox-48000-mono|2|48000|-|tone 48000 1 -b 64 -e float
float32-sox-8000-mono|2|8000|-|tone 8000 1 -b 32 -e float
float32-ffmpeg-22050-stereo|2|22050|-|ffmpeg -v error "${ffsine[@]}" -ar 22050 -ac 2 -c:a pcm_f32le -y "$in"
float64-ffmpeg-96000-stereo|2|48000|-|ffmpeg -v error "${ffsine[@]}" -ar 96000 -ac 2 -c:a pcm_f64le -y "$in"
float32-beyond-full-scale|2|44100|float samples beyond full scale (±1.0) were clipped|ffmpeg -v error "${ffsine[@]}" -af volume=24dB -ac 2 -c:a pcm_f32le -y "$in"
rf64-ffmpeg-16-bit|2|44100|-|ffmpeg -v error "${ffsine[@]}" -ac 2 -c:a pcm_s16le -rf64 always -y "$in"
rf64-ffmpeg-float|2|48000|-|ffmpeg -v error "${ffsine[@]}" -ar 48000 -c:a pcm_f32le -rf64 always -y "$in"
rf64-data-beyond-4-gib|2|44100|-|/usr/bin/python3 "$HERE/sparse_rf64.py" "$in" 44100 2 16 1 352800 $((4 * 1024 ** 3 + 1))
wave64-sox-16-bit|2|44100|-|tone 44100 2 -b 16 -t w64
wave64-sox-24-bit|2|48000|-|tone 48000 1 -b 24 -t w64
sizes-never-written|2|44100|its header states no length|unwritten
empty-data-chunk|115|-|-|sox -n -r 44100 -c 2 -b 16 "$in" trim 0 0
3-channels|116|-|-|tone 44100 3 -b 16
6-channels-ffmpeg|119|-|-|ffmpeg -v error "${ffsine[@]}" -ac 6 -c:a pcm_s16le -y "$in"
rate-11000|2|11025|-|tone 11000 2 -b 16
rate-6000|2|8000|-|tone 6000 1 -b 16
EOF_TABLE

# An input between two Layer-3 rates is offered the rate above it as well as the family below.
encode --list-formats "$WORK/rate-11000.wav"
check "11000 Hz: 11025 Hz offered ($errors)" grep -qF "64 kBit/s, 11025 Hz, Stereo" "$WORK/stdout"
check "11000 Hz: 8000 Hz offered" grep -qF "64 kBit/s, 8000 Hz, Stereo" "$WORK/stdout"

finish
