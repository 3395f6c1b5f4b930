#!/usr/bin/env bash
# The README's recipe for converting an archive on several machines, run on this machine alone
# (--sshlogin :): outputs beside the WAVs, parallel's exit status and job log, --resume-failed.
source "$(dirname "$0")/lib.sh"

readme="$(dirname "$0")/../../README.md"
recipe=$(awk '/^### Converting a large archive/ { on = 1 } on && /^```sh$/ { code = 1; next }
              code && /^```$/ { exit } code' "$readme")
check "the README holds the recipe ($recipe)" grep -qF -- "--sshlogin" <<<"$recipe"
recipe=$(sed -E 's/--sshlogin [^ ]+/--sshlogin :/' <<<"$recipe")

archive="$WORK/archive"
mkdir -p "$archive/2019/live" "$archive/2020" "$WORK/bin"
sox -n -r 44100 -b 16 -c 2 "$archive/2019/live/first take.wav" synth 0.5 sine 440
cp "$archive/2019/live/first take.wav" "$archive/2020/B.WAV"
echo "not a WAV" >"$archive/2020/broken.wav"
ln -s "$CANTRIX" "$WORK/bin/cantrix"
run_recipe() { # run_recipe COMMANDS: in the archive, with cantrix on the PATH and the log in $WORK
  set +e
  (cd "$archive" && HOME="$WORK" PATH="$WORK/bin:$PATH" bash -o pipefail -c "$1") >/dev/null 2>"$WORK/stderr"
  status=$?
  set -e
}
exitval() { awk -F'\t' -v file="$1" 'index($9, file) { value = $7 } END { print value }' "$WORK/convert.log"; }

run_recipe "$recipe"
check "parallel's status counts the one failure (got $status)" [ "$status" -eq 1 ]
check "outputs beside their WAVs" [ -s "$archive/2019/live/first take.mp3" -a -s "$archive/2020/B.mp3" ]
check "the output is mp3" [ "$(probe "$archive/2020/B.mp3" stream=codec_name)" = mp3 ]
check "the log shows the failed file's status 1" [ "$(exitval broken.wav)" = 1 ]
check "the log shows the converted file's status 0" [ "$(exitval B.WAV)" = 0 ]
check "the failed file's message is on standard error" grep -qF "broken.wav: The given input file" "$WORK/stderr"

cp "$archive/2020/B.WAV" "$archive/2020/broken.wav"
run_recipe "${recipe/parallel /parallel --resume-failed }"
check "--resume-failed: status 0 (got $status)" [ "$status" -eq 0 ]
check "--resume-failed: the mended file converted" [ -s "$archive/2020/broken.mp3" ]
check "--resume-failed: only it ran again" [ "$(grep -c cantrix "$WORK/convert.log")" -eq 4 ]

finish
