#!/usr/bin/env bash
# The program as a terminal user meets it: help without a display, the window without one, and
# WAV streams through standard input and output.
source "$(dirname "$0")/lib.sh"

# No display at all, and a display that does not answer: one clear line, status 1, no abort.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
for request in --help --version; do
  set +e; nodisplay "$CANTRIX" "$request" >"$WORK/out$request" 2>"$WORK/err"; status=$?; set -e
  check "$request without a display: status 0 (got $status)" [ "$status" -eq 0 ]
  check "$request without a display: printed, no errors" [ -s "$WORK/out$request" ] && [ ! -s "$WORK/err" ]
done
check "--help covers the window" grep -qx 'Usage: cantrix \[FILE\]' "$WORK/out--help"
check "--help covers the terminal mode" grep -qF 'cantrix --encode [OPTION]... FILE...' "$WORK/out--help"
for display in "" ":97"; do
  set +e; nodisplay DISPLAY="$display" "$CANTRIX" "$WORK/song.wav" >/dev/null 2>"$WORK/err"; status=$?; set -e
  check "window without display '$display': status 1 (got $status)" [ "$status" -eq 1 ]
  check "window without display '$display': at most three lines" [ "$(wc -l <"$WORK/err")" -le 3 ]
  check "window without display '$display': says what to do" grep -qF "cantrix --encode converts from a terminal" "$WORK/err"
done

sox -n -r 44100 -b 16 -c 2 "$WORK/song.wav" synth 2 sine 440 gain -6
quality=(--format "128 kBit/s, 44100 Hz, Stereo")
encode "${quality[@]}" --raw --output "$WORK/file.mp3" "$WORK/song.wav"
encode "${quality[@]}" --riff --output "$WORK/file.wav" "$WORK/song.wav"

# --output -: the same bytes as a file, and nothing else on standard output.
run() { # run COMMAND: a shell pipeline; keeps $status and the standard error in $errors
  set +e; errors=$(bash -o pipefail -c "$1" 2>&1 >/dev/null); status=$?; set -e
}
run "'$CANTRIX' --encode ${quality[*]@Q} --output - '$WORK/song.wav' | cat >'$WORK/pipe.mp3'"
check "--output - into a pipe: status 0 ($errors)" [ "$status" -eq 0 ]
check "--output - gives the file's frames, without its tag frame" cmp -s "$WORK/pipe.mp3" <(without_tag "$WORK/file.mp3")
check "--output -: the summary is on standard error" grep -qF -- "-> - (128 kBit/s" <<<"$errors"
run "'$CANTRIX' --encode ${quality[*]@Q} --riff --output - '$WORK/song.wav' >'$WORK/stdout.wav'"
check "--riff --output - into a file: same bytes as --output FILE" cmp -s "$WORK/stdout.wav" "$WORK/file.wav"
run "'$CANTRIX' --encode --riff --output - '$WORK/song.wav' | cat >/dev/null"
check "--riff --output - into a pipe: usage error" [ "$status" -eq 2 ]
check "--riff --output - into a pipe: says why ($errors)" grep -qF "sizes are written at its end" <<<"$errors"
cp "$WORK/song.wav" "$WORK/keep.wav"
run "'$CANTRIX' --encode --raw --output - '$WORK/song.wav' >>'$WORK/song.wav'"
check "--output - appending to the input: refused ($errors)" grep -qF "would overwrite the input" <<<"$errors"
check "--output - appending to the input: input unchanged" cmp -s "$WORK/song.wav" "$WORK/keep.wav"

# "-" as the input: a file through a pipe, and the streams that sox and ffmpeg write to a pipe,
# whose sizes are placeholders (0xFFFFFFFF, or a guess beyond the end).
run "cat '$WORK/song.wav' | '$CANTRIX' --encode ${quality[*]@Q} --raw --output - - >'$WORK/stdin.mp3'"
check "cat | --output - -: status 0 ($errors)" [ "$status" -eq 0 ]
check "cat | --output - -: the file's frames" cmp -s "$WORK/stdin.mp3" <(without_tag "$WORK/file.mp3")
ffmpeg -v error -i "$WORK/song.wav" -f wav - | cat >"$WORK/ffmpeg.pipe"
tail -c +45 "$WORK/song.wav" | sox -t raw -r 44100 -b 16 -c 2 -e signed - -t wav - 2>/dev/null | cat >"$WORK/sox.pipe"
check "ffmpeg writes 0xFFFFFFFF sizes into a pipe" [ "$(u32 "$WORK/ffmpeg.pipe" 4)" -eq 4294967295 ]
for writer in ffmpeg sox; do
  stream="$WORK/$writer.pipe"
  check "$writer's RIFF size claims more than the stream" [ "$(u32 "$stream" 4)" -gt "$(filesize "$stream")" ]
  run "cat '$stream' | '$CANTRIX' --encode ${quality[*]@Q} --riff --output '$WORK/piped.wav' --overwrite -"
  check "$writer: converts ($errors)" [ "$status" -eq 0 ]
  check "$writer: fact holds the real sample frames" [ "$(u32 "$WORK/piped.wav" 60)" -eq $((2 * 44100)) ]
  check "$writer: the same stream as from the file" \
    cmp -s <(tail -c +73 "$WORK/piped.wav") <(tail -c +73 "$WORK/file.wav")
  check "$writer: decodes cleanly" bash -c "mpg123 -q -w /dev/null '$WORK/piped.wav' 2>&1 | (! grep .)"
done
# Ctrl-C while standard input is still awaited ends the run at once; the writer stays open.
mkfifo "$WORK/slow"
exec 3<>"$WORK/slow"
set +e
"$CANTRIX" --encode --output "$WORK/never.mp3" - <"$WORK/slow" 2>"$WORK/err" &
pid=$!
sleep 0.5
kill -INT "$pid"
wait "$pid"
status=$?
set -e
exec 3>&-
check "Ctrl-C while reading standard input: status 130 (got $status)" [ "$status" -eq 130 ]
check "Ctrl-C while reading standard input: nothing written" [ ! -e "$WORK/never.mp3" ]

# A stream larger than the 64 MiB a conversion may use passes through bounded buffers: the peak
# above the program's own (a 2-second stream) stays below 64 MiB. With --threads 1 the segments
# in flight take about 22 MiB on every machine; the rest is headroom for the allocator, whose peak
# moves with the timing of the threads. Holding the 77 MB stream alone would break the bound.
peak() { # peak SECONDS: converts a stream that long; its peak memory in KiB lands in $rss
  run "sox -n -r 48000 -b 32 -c 2 -t wavpcm - synth $1 sine 440 2>/dev/null |
       command time -f %M -o '$WORK/rss' '$CANTRIX' --encode --preset lowest --threads 1 --output - - >/dev/null"
  check "a $1-second stream: status 0 ($errors)" [ "$status" -eq 0 ]
  rss=$(cat "$WORK/rss")
}
peak 2
own=$rss
peak 200
check "a long stream: memory stays below 64 MiB ($rss KiB, $own KiB of its own)" [ $((rss - own)) -lt $((64 * 1024)) ]

finish
