# The Layer-3 frames and container heads of a fixed set of conversions, in the window's way (the
# engine writes in place; finished and cancelled) and the terminal's, raw and RIFF, against the
# digests recorded in same_bytes.expected. A change of the program that is not meant to change
# what it writes must leave them as they are.
#     bash same_bytes_test.sh CANTRIX ENGINE_RUN [--record]
source "$(dirname "$0")/lib.sh"
ENGINE_RUN=${2:?path to engine_run}
HERE=$(cd "$(dirname "$0")" && pwd)
DIGEST="$HERE/layer3_digest.py"
EXPECTED="$HERE/same_bytes.expected"

# name rate channels bits seconds layout | format
cases=(
  "cd 44100 2 16 3 plain|128 kBit/s, 44100 Hz, Stereo"
  "cd-long 44100 2 16 20 plain|128 kBit/s, 44100 Hz, Stereo"
  "cd-half 44100 2 16 3 plain|64 kBit/s, 22050 Hz, Stereo"
  "cd-quarter 44100 2 16 3 plain|16 kBit/s, 11025 Hz, Mono"
  "cd-top 44100 2 16 3 plain|320 kBit/s, 44100 Hz, Stereo"
  "studio 48000 1 24 3 extensible|80 kBit/s, 48000 Hz, Mono"
  "hires 96000 2 32 2 extensible|192 kBit/s, 48000 Hz, Stereo"
  "broadcast 32000 2 16 3 plain|8 kBit/s, 16000 Hz, Stereo"
  "voice 22050 1 16 3 plain|32 kBit/s, 22050 Hz, Mono"
  "wide 24000 2 8 3 plain|160 kBit/s, 24000 Hz, Stereo"
  "phone 8000 1 16 3 plain|8 kBit/s, 8000 Hz, Mono"
  "radio 12000 2 16 3 plain|24 kBit/s, 12000 Hz, Stereo"
)

lines=()
for row in "${cases[@]}"; do
  read -r name rate channels bits seconds layout <<<"${row%%|*}"
  format=${row#*|}
  input="$WORK/$name.wav"
  /usr/bin/python3 "$DIGEST" wav "$input" "$rate" "$channels" "$bits" "$seconds" "$layout"
  for container in raw riff; do
    out="$WORK/$name-window.$container"
    if "$ENGINE_RUN" "$input" "$out" "$format" "$container"; then
      lines+=("$name window $container $(/usr/bin/python3 "$DIGEST" digest "$out")")
    else
      fail "$name: the window's $container conversion failed"
    fi
    out="$WORK/$name-cancelled.$container"
    if "$ENGINE_RUN" "$input" "$out" "$format" "$container" 20; then
      lines+=("$name cancelled $container $(/usr/bin/python3 "$DIGEST" digest "$out")")
    else
      fail "$name: the window's cancelled $container conversion failed"
    fi
    out="$WORK/$name-terminal.$container"
    encode "--$container" --format "$format" --output "$out" "$input"
    if [ "$status" -eq 0 ]; then
      lines+=("$name terminal $container $(/usr/bin/python3 "$DIGEST" digest "$out")")
    else
      fail "$name: the terminal's $container conversion failed: $errors"
    fi
  done
done

if [ "${3:-}" = --record ]; then
  printf '%s\n' "${lines[@]}" >"$EXPECTED"
  echo "recorded ${#lines[@]} digests in $EXPECTED"
else
  while IFS= read -r want; do
    got=
    for line in "${lines[@]}"; do
      [ "${line% head=*}" = "${want% head=*}" ] && got=$line
    done
    check "${want% head=*}: expected $want, got ${got:-nothing}" [ "$got" = "$want" ]
  done <"$EXPECTED"
  check "as many conversions as recorded" [ "${#lines[@]}" -eq "$(wc -l <"$EXPECTED")" ]
fi
finish
