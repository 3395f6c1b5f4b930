#!/usr/bin/env bash
# Raw outputs decode to exactly their input's samples: ffmpeg and mpg123 give back N samples (at
# the output's rate) from sample 0 on, the tag frame's CRCs and counts hold, mp3val finds nothing,
# and every thread count writes the same bytes; a stream to standard output has the same frames
# without the tag; a cancelled run's tag states what its file holds; four slices of a sweep decode
# and join into the whole sweep; and inputs encoded in one piece are lame's bytes, tag included.
#     bash exact_length_test.sh CANTRIX ENGINE_RUN [--all]
# With --all every format the catalogue offers is checked too, not only a selection (slow).
source "$(dirname "$0")/lib.sh"
ENGINE_RUN=${2:?path to engine_run}
TAG=("/usr/bin/python3" "$(dirname "$0")/info_tag.py")

# Noise below 1.5 kHz, which every format keeps, so that the decoded audio lines up with its input.
make_input() { # make_input FILE RATE CHANNELS BITS SAMPLES
  sox -V1 -R -r "$2" -c "$3" -n -b "$4" "$1" synth "$5s" whitenoise lowpass 1500 gain -6
}
# The format is named: ffmpeg's guess takes files of three frames for H.263 video (lame's alike).
decoded_samples() { { ffmpeg -v error -f mp3 -i "$1" -ac 1 -f s16le - || true; } | wc -c | awk '{ print $1 / 2 }'; }
# mp3val notes a file without ID3 tags, and one of fewer than 10 frames (lame's files alike).
mp3val_findings() { # mp3val_findings FILE FRAMES
  local ignored="No supported tags"
  [ "${2:-0}" -lt 10 ] && ignored="$ignored|Too few MPEG frames"
  mp3val "$1" | grep -E "WARNING|ERROR" | grep -vE "$ignored" || true
}

# input rate, channels, bits | formats
inputs=(
  "44100 2 16|128 kBit/s, 44100 Hz, Stereo;32 kBit/s, 44100 Hz, Stereo;64 kBit/s, 22050 Hz, Stereo;16 kBit/s, 11025 Hz, Mono"
  "48000 1 24|80 kBit/s, 48000 Hz, Mono;8 kBit/s, 12000 Hz, Mono"
  "8000 1 16|8 kBit/s, 8000 Hz, Mono;32 kBit/s, 8000 Hz, Mono"
  "50000 2 16|112 kBit/s, 48000 Hz, Stereo"
)
lengths=(1 575 576 1151 1152 1153 44100 441007)
# Every offered format: stereo inputs of each MPEG-1 rate, whose catalogues hold their families.
[ "${3:-}" = --all ] && inputs=("44100 2 16|" "48000 2 16|" "32000 2 16|" "${inputs[@]}")

for row in "${inputs[@]}"; do
  read -r rate channels bits <<<"${row%%|*}"
  for n in "${lengths[@]}"; do
    in="$WORK/in-$rate-$n.wav"
    make_input "$in" "$rate" "$channels" "$bits" "$n"
    formats=${row#*|}
    if [ -z "$formats" ]; then
      formats=$("$CANTRIX" --encode --list-formats "$in" | sed -n 's/^ *[0-9]* *[0-9]* *\(.*kBit.*\)$/\1/p' | paste -sd';')
    fi
    IFS=';' read -ra list <<<"$formats"
    for format in "${list[@]}"; do
      what="$format from $n samples at $rate Hz"
      out="$WORK/out.mp3"
      encode --raw --format "$format" --overwrite --output "$out" "$in"
      if [ "$status" -ne 0 ]; then
        fail "$what: converts ($errors)"
        continue
      fi
      outrate=$(sed 's/.*, \([0-9]*\) Hz.*/\1/' <<<"$format")
      want=$((n * outrate / rate))
      tag=$("${TAG[@]}" tag "$out") || true
      check "$what: the tag frame holds ($tag)" grep -q "samples=$want " <<<"$tag"
      got=$(decoded_samples "$out")
      # ffmpeg cannot trim the padding of a stream of fewer than 47 samples in 576-sample frames
      # (MPEG-2 and 2.5), where the padding reaches into the frame the delay ends in; lame's files
      # decode 529 samples long there too.
      [ "$outrate" -lt 32000 ] && [ "$want" -lt 47 ] && [ "$got" -eq $((want + 529)) ] && got=$want
      check "$what: ffmpeg decodes $want samples (got $got)" [ "$got" -eq "$want" ]
      got=$(($(mpg123 -q -m -s "$out" 2>/dev/null | wc -c) / 2))
      check "$what: mpg123 decodes $want samples (got $got)" [ "$got" -eq "$want" ]
      findings=$(mp3val_findings "$out" "$(sed -n 's/^frames=\([0-9]*\).*/\1/p' <<<"$tag")")
      check "$what: mp3val finds nothing ($findings)" [ -z "$findings" ]
      if [ "$n" -ge 44100 ]; then
        sox "$in" -r "$outrate" -c 1 -t s16 "$WORK/reference.raw"
        ffmpeg -v error -f mp3 -i "$out" -ac 1 -f s16le -y "$WORK/decoded.raw"
        lag=$("${TAG[@]}" lag "$WORK/reference.raw" "$WORK/decoded.raw")
        # Under 8 kbit/s a channel the coding error can move the peak by a sample (so in lame's
        # own frames of 8 kBit/s, 24000 Hz, Stereo).
        [[ ${lag#-} -eq 1 && $format == "8 kBit/s"*Stereo ]] && lag=0
        check "$what: the audio starts at sample 0 (lag $lag)" [ "$lag" -eq 0 ]
      fi
    done
  done
done

# One long input in segments: the same bytes at every thread count, and the exact length.
make_input "$WORK/long.wav" 44100 2 16 1323007
for format in "16 kBit/s, 11025 Hz, Mono" "128 kBit/s, 44100 Hz, Stereo"; do
  for threads in 1 2 4; do
    encode --raw --threads "$threads" --format "$format" --overwrite --output "$WORK/long-$threads.mp3" "$WORK/long.wav"
  done
  sums=$(sha256sum "$WORK"/long-[124].mp3 | cut -d' ' -f1 | sort -u | wc -l)
  check "$format: --threads 1, 2 and 4 write the same bytes" [ "$sums" -eq 1 ]
  outrate=$(sed 's/.*, \([0-9]*\) Hz.*/\1/' <<<"$format")
  want=$((1323007 * outrate / 44100))
  tag=$("${TAG[@]}" tag "$WORK/long-4.mp3") || true
  check "$format, segments: the tag frame holds ($tag)" grep -q "samples=$want " <<<"$tag"
  got=$(decoded_samples "$WORK/long-4.mp3")
  check "$format, segments: ffmpeg decodes $want samples (got $got)" [ "$got" -eq "$want" ]
done

# Standard output takes the same frames without the tag frame, which it cannot write at the end.
"$CANTRIX" --encode --raw --format "128 kBit/s, 44100 Hz, Stereo" --output - "$WORK/long.wav" 2>/dev/null |
  cat >"$WORK/pipe.mp3"
check "--output -: the file's frames without the tag frame" \
  cmp -s "$WORK/pipe.mp3" <("${TAG[@]}" frames "$WORK/long-1.mp3")

# A run cancelled in the window: the tag states the frames the file holds, all of them played.
"$ENGINE_RUN" "$WORK/long.wav" "$WORK/cancelled.mp3" "128 kBit/s, 44100 Hz, Stereo" raw 100
tag=$("${TAG[@]}" tag "$WORK/cancelled.mp3") || true
check "cancelled: the tag frame holds ($tag)" grep -q "delay=576 padding=529 " <<<"$tag"
played=$(sed 's/.*samples=\([0-9]*\).*/\1/' <<<"$tag")
check "cancelled: ffmpeg plays every frame the file holds" [ "$(decoded_samples "$WORK/cancelled.mp3")" = "$played" ]

# Four slices of a sweep, converted and decoded one by one and joined, are the whole sweep's
# decode: no samples inserted at the joins, and no more coding error there than anywhere else.
sox -n -r 44100 -c 1 -b 16 "$WORK/sweep.wav" synth 10 sine 50-4000 gain -6
seams=()
for slice in 0 1 2 3; do
  sox "$WORK/sweep.wav" "$WORK/slice$slice.wav" trim "$((slice * 110250))s" 110250s
  encode --raw --format "64 kBit/s, 44100 Hz, Mono" --output "$WORK/slice$slice.mp3" "$WORK/slice$slice.wav"
  ffmpeg -v error -i "$WORK/slice$slice.mp3" -f s16le - >>"$WORK/joined.raw"
  [ "$slice" -gt 0 ] && seams+=("$((slice * 110250))")
done
sox "$WORK/sweep.wav" -t s16 "$WORK/sweep.raw"
encode --raw --format "64 kBit/s, 44100 Hz, Mono" --output "$WORK/whole.mp3" "$WORK/sweep.wav"
ffmpeg -v error -i "$WORK/whole.mp3" -f s16le "$WORK/whole.raw"
check "the joined slices are as long as the sweep" [ "$(filesize "$WORK/joined.raw")" -eq "$(filesize "$WORK/sweep.raw")" ]
read -r whole _ < <("${TAG[@]}" seams "$WORK/sweep.raw" "$WORK/whole.raw" "${seams[@]}")
read -r joined worst < <("${TAG[@]}" seams "$WORK/sweep.raw" "$WORK/joined.raw" "${seams[@]}")
check "the joined slices code the sweep as well as the whole ($joined, at a join $worst, whole $whole)" \
  awk -v w="$whole" -v j="$joined" -v s="$worst" 'BEGIN { exit !(j <= 2 * w && s <= 4 * w) }'

# An input encoded in one piece is lame's file byte for byte, tag frame included, at MPEG-1 and
# MPEG-2; 408 frames, past the 400 after which lame's seek table keeps every other entry.
for case in "44100 2 128 470000|128 kBit/s, 44100 Hz, Stereo" "22050 2 64 235000|64 kBit/s, 22050 Hz, Stereo"; do
  read -r rate channels kbps n <<<"${case%%|*}"
  make_input "$WORK/short.wav" "$rate" "$channels" 16 "$n"
  lame --quiet --noreplaygain -b "$kbps" "$WORK/short.wav" "$WORK/lame.mp3"
  encode --raw --format "${case#*|}" --overwrite --output "$WORK/ours.mp3" "$WORK/short.wav"
  check "${case#*|}: lame's bytes" cmp -s "$WORK/ours.mp3" "$WORK/lame.mp3"
done

finish
