#!/usr/bin/env bash
# The input's tags in the outputs: inputs that ffmpeg, sox and taggers write, read back from the
# raw and the RIFF output by ffprobe and mutagen; what the terminal sets over them; standard
# input and output; every thread count.
source "$(dirname "$0")/lib.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
TAGS=(/usr/bin/python3 "$HERE/tag_files.py")
quality=(--format "64 kBit/s, 22050 Hz, Mono")
sine=(-f lavfi -i "sine=frequency=440:duration=0.5:sample_rate=22050" -c:a pcm_s16le)
ff_tags=(-metadata "title=Tïtle" -metadata artist=Art -metadata "album=Die Alben" -metadata date=2021-04-05
  -metadata track=3/12 -metadata genre=Rock -metadata "comment=A comment")
none="||||||"

# name :: how $in is made :: title|artist|album|date|track|genre|comment as every reader sees them
# (sox 14.4 writes no INFO chunk into a WAV: its comment is lost before we see the file)
rows=(
  "ffmpeg :: ffmpeg -v error ${sine[*]@Q} ${ff_tags[*]@Q} -y \"\$in\" :: Tïtle|Art|Die Alben|2021-04-05|3/12|Rock|A comment"
  "sox :: sox -n -r 22050 -c 1 -b 16 --comment 'sox drops it' \"\$in\" synth 0.5 sine 440 :: $none"
  "bext :: \${TAGS[@]} make bext \"\$in\" :: |||2019-11-02|||Interview at the station"
  "id3-picture :: \${TAGS[@]} make id3-picture \"\$in\" :: Ständchen|Quartett|Live|2011|2/9|Classical|Encore"
  "latin1 :: \${TAGS[@]} make latin1 \"\$in\" :: Café au lait|Zoë Ørsted|Cafés|1998|7|Jazz|Dégustation"
  "utf8 :: \${TAGS[@]} make utf8 \"\$in\" :: Łódź 東京|Ærøskøbing Ensemble|Ünïcödé|2020-02-29|1/2|Folk|naïve — yes"
  "info-after-data :: \${TAGS[@]} make info-after-data \"\$in\" :: After|Tail|||||"
  "broken :: \${TAGS[@]} make broken \"\$in\" :: $none"
)
declare -A expect
declare -A extension=([raw]=mp3 [riff]=wav) switch=([mp3]=--raw [wav]=--riff)
for row in "${rows[@]}"; do
  name=${row%% :: *}
  rest=${row#* :: }
  expected=${rest#* :: }
  expect[$name]=$expected
  in="$WORK/$name-in.wav"
  eval "${rest%% :: *}"
  for container in raw riff; do
    out="$WORK/$name.${extension[$container]}"
    encode "${quality[@]}" "--$container" --output "$out" "$in"
    check "$name $container: converts ($errors)" [ "$status" -eq 0 ]
    if [ "$name" = broken ]; then
      check "$name $container: one warning line ($errors)" \
        [ "$(grep -c 'cantrix: .*tags not carried over' <<<"$errors")" -eq 1 ]
    else
      check "$name $container: no warning ($errors)" [ -z "$errors" ]
    fi
    for reader in ffprobe mutagen; do
      got=$("${TAGS[@]}" read "$reader" "$out")
      check "$name $container: $reader reads '$got', not '$expected'" [ "$got" = "$expected" ]
    done
    check "$name $container: the picture is carried" \
      [ "$("${TAGS[@]}" picture "$out")" = "$("${TAGS[@]}" picture "$in")" ]
  done
done

# Without tags (also with --no-tags) an output is what it was before outputs carried tags: the
# stream alone, and the RIFF head, data and nothing after.
ffmpeg -v error -i "$WORK/ffmpeg-in.wav" -map_metadata -1 -fflags +bitexact -c copy -y "$WORK/plain-in.wav"
for container in mp3 wav; do
  encode "${quality[@]}" "${switch[$container]}" --output "$WORK/plain.$container" "$WORK/plain-in.wav"
  encode "${quality[@]}" "${switch[$container]}" --no-tags --output "$WORK/dropped.$container" \
    "$WORK/ffmpeg-in.wav"
  check "--no-tags $container: the bytes of an input without tags" \
    cmp -s "$WORK/plain.$container" "$WORK/dropped.$container"
done
check "no tags: the raw stream starts with a frame" [ "$(od -An -tx1 -N1 "$WORK/plain.mp3" | tr -d ' ')" = ff ]
data_bytes=$(u32 "$WORK/plain.wav" 68)
check "no tags: nothing after the RIFF data" [ "$(filesize "$WORK/plain.wav")" -eq $((72 + data_bytes + data_bytes % 2)) ]
decoded() { ffmpeg -v error -i "$1" -f s16le - | wc -c; }
check "a tag in front decodes to the same samples" \
  [ "$(decoded "$WORK/ffmpeg.mp3")" -eq "$(decoded "$WORK/dropped.mp3")" ]

# Options set over every input of a run; the rest stays the input's.
mkdir "$WORK/over"
encode "${quality[@]}" --raw --dir "$WORK/over" --tt "Neu" --tn 5/9 --comment= \
  "$WORK/ffmpeg-in.wav" "$WORK/utf8-in.wav"
check "overrides: converts ($errors)" [ "$status" -eq 0 ]
for name in ffmpeg utf8; do
  IFS='|' read -r -a fields <<<"${expect[$name]}"
  fields[0]=Neu fields[4]=5/9 fields[6]=
  want=$(IFS='|'; echo "${fields[*]}")
  for reader in ffprobe mutagen; do
    got=$("${TAGS[@]}" read "$reader" "$WORK/over/$name-in.mp3")
    check "overrides $name: $reader reads '$got', not '$want'" [ "$got" = "$want" ]
  done
done

# Standard output gets the tag first and the file's bytes; standard input keeps the tags, also
# those after the data of a stream whose sizes are placeholders.
run() { # run COMMAND: a shell pipeline; keeps $status and the standard error in $errors
  set +e; errors=$(bash -o pipefail -c "$1" 2>&1 >/dev/null); status=$?; set -e
}
run "'$CANTRIX' --encode ${quality[*]@Q} --output - '$WORK/id3-picture-in.wav' | cat >'$WORK/stdout.mp3'"
# (A file may also hold a tag frame for its exact length in front of the frames, which a stream
# that cannot seek back does without: the digest leaves it out.)
tag_bytes=$((10 + $(od -An -tu1 -j6 -N4 "$WORK/id3-picture.mp3" |
  awk '{ print $1 * 2097152 + $2 * 16384 + $3 * 128 + $4 }')))
check "--output -: the file's tag ($errors)" \
  cmp -s <(head -c "$tag_bytes" "$WORK/stdout.mp3") <(head -c "$tag_bytes" "$WORK/id3-picture.mp3")
check "--output -: the file's frames" [ "$(/usr/bin/python3 "$HERE/layer3_digest.py" digest "$WORK/stdout.mp3")" = \
  "$(/usr/bin/python3 "$HERE/layer3_digest.py" digest "$WORK/id3-picture.mp3")" ]
/usr/bin/python3 - "$WORK/info-after-data-in.wav" "$WORK/streamed-in.wav" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[4:8] = b"\xff\xff\xff\xff"
at = data.find(b"data") + 4
data[at:at + 4] = b"\xff\xff\xff\xff"
open(sys.argv[2], "wb").write(data)
EOF
for name in info-after-data streamed ffmpeg; do
  run "cat '$WORK/$name-in.wav' | '$CANTRIX' --encode ${quality[*]@Q} --raw --output '$WORK/stdin-$name.mp3' -"
  check "standard input $name: converts without a message ($errors)" [ "$status$errors" = 0 ]
  want=${expect[$name]:-${expect[info-after-data]}}
  check "standard input $name: the tags are kept" \
    [ "$("${TAGS[@]}" read ffprobe "$WORK/stdin-$name.mp3")" = "$want" ]
done
check "a stream with placeholder sizes: the file's bytes" \
  cmp -s "$WORK/stdin-streamed.mp3" "$WORK/info-after-data.mp3"

# Every thread count writes the same bytes, tags and all, of an input long enough to be split.
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=25" "${ff_tags[@]}" -y "$WORK/long-in.wav"
for container in mp3 wav; do
  sums=()
  for threads in 1 2 3 4; do
    encode "${switch[$container]}" --threads "$threads" --overwrite --output "$WORK/long.$container" \
      "$WORK/long-in.wav"
    sums+=("$(sha256sum <"$WORK/long.$container")")
  done
  check "$container: --threads 1 to 4 give the same bytes" \
    [ "$(printf '%s\n' "${sums[@]}" | sort -u | wc -l)" -eq 1 ]
  check "$container: the long output carries the tags" \
    [ "$("${TAGS[@]}" read mutagen "$WORK/long.$container")" = "${expect[ffmpeg]}" ]
done
finish
