#!/usr/bin/env bash
# Measures the running tuner under Xvfb while it records a tone fed in real time through ALSA:
# CPU time per second of wall time, peak resident memory, and the time from start to the first drawn tick.
# Usage: bench/measure_program.sh [seconds]     (30 by default; builds the release preset first)
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
cmake --preset release >/dev/null
cmake --build --preset release --target zemtar_tuner zt_test_audio >/dev/null
bin="$root/build/release"
audio="$bin/tests/support/zt_test_audio"

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$audio" tone "$work/tone.raw" 196 90 10
mkfifo "$work/tone.pipe"
"$audio" config "$work/asound.conf" "$work/tone.pipe"
"$audio" feed "$work/tone.pipe" "$work/tone.raw" --loop &
pids+=($!)

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb_pid <&3
pids+=("$xvfb_pid")
read -r display_number <&3
export DISPLAY=":$display_number"

start_ns=$(date +%s%N)
ALSA_CONFIG_PATH="$work/asound.conf" QT_QPA_PLATFORM=xcb "$bin/app/zemtar_tuner" 2>/dev/null &
tuner=$!
pids+=("$tuner")

# The first tick draws the level bar's first column green at (16, 127) of the window.
first_tick_ms=""
for _ in $(seq 1 400); do
  geometry=$(xwininfo -name "Tuner @ Zemtar" 2>/dev/null || true)
  if grep -q IsViewable <<<"$geometry"; then
    wx=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
    wy=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
    pixel=$(import -window root -crop "1x1+$((wx + 16))+$((wy + 127))" -depth 8 txt:- 2>/dev/null | tail -n 1)
    if grep -qi '#00FF00' <<<"$pixel"; then
      first_tick_ms=$(( ($(date +%s%N) - start_ns) / 1000000 ))
      break
    fi
  fi
  sleep 0.02
done

ticks_per_s=$(getconf CLK_TCK)
read_cpu_ticks() { awk '{print $14 + $15}' "/proc/$tuner/stat"; }
cpu0=$(read_cpu_ticks); t0=$(date +%s%N)
sleep "$seconds"
cpu1=$(read_cpu_ticks); t1=$(date +%s%N)
hwm_kb=$(awk '/VmHWM/ {print $2}' "/proc/$tuner/status")

cpu_percent=$(awk -v c=$((cpu1 - cpu0)) -v hz="$ticks_per_s" -v ns=$((t1 - t0)) \
  'BEGIN { printf "%.2f", 100 * (c / hz) / (ns / 1e9) }')
echo "measured over ${seconds} s of recording a paced 196 Hz tone under Xvfb:"
echo "  CPU time per wall second: ${cpu_percent} % of one core   (target < 1 %)"
echo "  peak RSS:                 $((hwm_kb / 1024)) MB            (target < 60 MB)"
echo "  start to first drawn tick: ${first_tick_ms:-not seen} ms  (target < 500 ms)"
