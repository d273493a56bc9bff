#!/usr/bin/env bash
# Runs the recorder's test against the platform's wave-input service (capture_winmm_tests) under Wine, with sound:
#   winmm_capture.sh DIR ZT_TEST_AUDIO COMMAND...
# starts a private PulseAudio server in DIR whose default source is a named pipe, feeds the pipe in real time with
# a 196 Hz tone (zt_test_audio feed), runs COMMAND (the emulator and the test program) as the server's client
# (PULSE_SERVER, which Wine's PulseAudio driver reads), then stops the feeder and the server.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: winmm_capture.sh DIR ZT_TEST_AUDIO COMMAND..." >&2; exit 2; }
dir=$1
tool=$2
shift 2
pulse="$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)/pulse_server.sh"

rm -rf "$dir"
mkdir -p "$dir"
# 230400 bytes: a whole number of the tone's 225-byte periods (four periods of 196 Hz at 11025 Hz) and of the
# feeder's 1024-byte chunks, so that the looped tone has no seam.
"$tool" tone "$dir/tone.raw" 196 60 20.897959183673468
[ "$(stat -c %s "$dir/tone.raw")" -eq 230400 ]

feeder=""
cleanup() {
  if [ -n "$feeder" ]; then
    kill -TERM "$feeder" 2>/dev/null || true
    for _ in $(seq 1 40); do kill -0 "$feeder" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$feeder" 2>/dev/null || true
  fi
  "$pulse" stop "$dir/pulse"
}
trap cleanup EXIT

server=$("$pulse" start "$dir/pulse" pipe "$dir/tone.fifo" | grep '^PULSE_SERVER=')
"$tool" feed "$dir/tone.fifo" "$dir/tone.raw" --loop </dev/null >/dev/null 2>"$dir/feed.log" &
feeder=$!
export "${server?}"
"$@"
