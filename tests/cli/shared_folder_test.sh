#!/usr/bin/env bash
# A second user who can write into a shared project folder (group-writable, mode 2775) races a link
# to a root-only file into the place of every temporary output of a run made by root. A preloaded
# shim holds each run before it first uses a temporary file until the other user has swapped
# it, so every round is a race that the other user wins. Nothing outside the folder may change,
# and whatever the run publishes is a regular Layer-3 file.
source "$(dirname "$0")/lib.sh"
SHIM=${3:?path to the slow temporary shim}
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: making a second user needs root"
  exit 77
fi

other=cantrix-race-$$
useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$other"
attacker=""
at_exit+='[ -z "$attacker" ] || { kill "$attacker"; wait "$attacker"; } 2>/dev/null || true; userdel "$other" || true;'
chmod 0711 "$WORK"
shared="$WORK/shared" secret="$WORK/secret"
mkdir -p "$shared" "$WORK/in"
chown "root:$other" "$shared"
chmod 2775 "$shared"
echo "root only" >"$secret"
chmod 0600 "$secret"
for i in 1 2 3; do sox -n -r 44100 -b 16 -c 2 "$WORK/in/s$i.wav" synth 0.5 sine $((300 * i)); done

# The other user swaps the temporary outputs of s1 and s2 for a link to the secret, by rename, as
# they appear; before each round it also plants a link to the secret under s3's output's name.
as_other() { setpriv --reuid="$other" --regid="$other" --clear-groups "$@"; }
# setpriv becomes the shell, so $! is the process to end.
setpriv --reuid="$other" --regid="$other" --clear-groups bash -c '
  cd "$1" && shopt -s nullglob
  while :; do
    for f in .s[12].mp3.cantrix-*.part; do
      [ -L "$f" ] || { ln -sfn "$2" "$f.swap" && mv -fT "$f.swap" "$f"; }
    done
    sleep 0.005
  done' race "$shared" "$secret" >/dev/null 2>&1 &
attacker=$!

rounds=8 swapped=0
for round in $(seq "$rounds"); do
  as_other ln -sfn "$secret" "$shared/s3.mp3"
  set +e
  errors=$(SLOW_TEMPORARIES='.s[12].*' LD_PRELOAD=$SHIM "$CANTRIX" --encode --raw --overwrite --jobs 2 \
    --dir "$shared" "$WORK/in" 2>&1 >/dev/null)
  set -e
  swapped=$((swapped + $(grep -c "replaced its temporary file" <<<"$errors" || true)))
  check "round $round: the root-only file outside the folder is unchanged" [ "$(cat "$secret")" = "root only" ]
  check "round $round: the planted link is replaced by a regular Layer-3 file ($errors)" \
    [ ! -L "$shared/s3.mp3" -a "$(probe "$shared/s3.mp3" stream=codec_name)" = mp3 ]
  for f in "$shared"/s[12].mp3; do
    [ -e "$f" ] || [ -L "$f" ] || continue
    check "round $round: $(basename "$f") is a regular Layer-3 file" \
      [ ! -L "$f" -a "$(probe "$f" stream=codec_name)" = mp3 ]
  done
  rm -f "$shared"/s?.mp3 "$shared"/.*.part
done
echo "the other user swapped $swapped of $((2 * rounds)) temporary files in time"
check "the race was run: some temporary file was swapped" [ "$swapped" -gt 0 ]

finish
