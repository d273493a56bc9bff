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
cmake --build --preset release --target zemtar_tuner zt_test_audio probe_first_tick >/dev/null
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

# The probe starts the program and watches the level bar's first column turn green: the first drawn tick.
read -r tuner first_tick_ms < <(ALSA_CONFIG_PATH="$work/asound.conf" QT_QPA_PLATFORM=xcb \
  "$bin/bench/probe_first_tick" "$bin/app/zemtar_tuner" "$root" 2>/dev/null)
pids+=("$tuner")
[ "$first_tick_ms" = none ] && first_tick_ms=""

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
