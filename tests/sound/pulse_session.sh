#!/bin/bash
# Runs a command with a private PulseAudio server that has one null sink ("nullsink", 44.1 kHz
# stereo), then stops that server by its own pid. The command sees the server through
# XDG_RUNTIME_DIR and plays into the null sink by default (PULSE_SINK). If the server cannot be
# started the command still runs; tests that need a server then skip.
#
# An idle null sink renders silence in blocks of up to two seconds, and a stream that arrives
# meanwhile waits for the block to end. A silent stream keeps the sink running with a short
# block, so that what the tests play is heard, and recorded, in step with the clock.
# Usage: pulse_session.sh COMMAND [ARGUMENT...]; exits with the command's status.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGUMENT...]" >&2
    exit 2
fi

session=$(mktemp -d /tmp/cantrix-pulse.XXXXXX) || exit 1
server_pid=""
keepalive_pid=""

stop_server() {
    if [ -n "$keepalive_pid" ]; then
        kill "$keepalive_pid" 2>/dev/null
        wait "$keepalive_pid" 2>/dev/null
    fi
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid"
        # Give it a moment to remove its socket and pid file, then make sure it is gone.
        for _ in $(seq 50); do
            kill -0 "$server_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$server_pid" 2>/dev/null && kill -KILL "$server_pid"
    fi
    rm -rf "$session"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# The server and the client share the private runtime directory (socket) and home (cookie);
# nothing of the user's own sound setup is touched.
export XDG_RUNTIME_DIR="$session"
export HOME="$session"
unset PULSE_SERVER PULSE_RUNTIME_PATH PULSE_STATE_PATH PULSE_COOKIE
export PULSE_SINK=nullsink

if command -v pulseaudio >/dev/null 2>&1 &&
    pulseaudio -D --exit-idle-time=-1 -n --log-target=stderr --log-level=error \
        --load="module-null-sink sink_name=nullsink rate=44100 channels=2" \
        --load=module-native-protocol-unix; then
    server_pid=$(cat "$session/pulse/pid" 2>/dev/null)
    pacat --playback --raw --latency-msec=20 --device=nullsink </dev/zero &
    keepalive_pid=$!
    # Wait until the sink has left its long idle block (its latency is then a few milliseconds).
    for _ in $(seq 100); do
        latency=$(pactl list sinks 2>/dev/null | sed -n 's/^[[:space:]]*Latency: \([0-9]*\) usec.*/\1/p' | head -n 1)
        [ -n "$latency" ] && [ "$latency" -lt 100000 ] && break
        sleep 0.1
    done
else
    echo "pulse_session.sh: no private sound server; sound tests will skip" >&2
fi

"$@"
status=$?
exit $status
