#!/usr/bin/env bash
# Measures the real program under Xvfb, what its user waits for and what it costs while it runs:
#  - CPU time per second of wall time and peak resident memory while it records a tone fed in real time through
#    ALSA (a pipe served by ALSA's file plugin), and the time from start to the first drawn tick;
#  - with a private PulseAudio daemon playing the tone at 50 ms latency: the time from start to the first
#    estimate on the screen (median of 5), and the time from a close request (as a window manager's close
#    button sends it) to the end of the process, in steady recording, at moments spread over the first second
#    after start, and one second after the daemon was killed while the tuner recorded from it (10 each);
#  - over each private sound server (PulseAudio, PipeWire through its own ALSA plugin, PipeWire through
#    pipewire-pulse and ALSA's pulse plugin): the device thread's wake-ups per second over the first 10 s of
#    recording; once the server is killed, the program's CPU time and the thread's wake-ups over 10 s; the time from
#    the server's return (restarted 1.5 s after the kill, playing another tone) to the new estimate on the screen
#    (5 runs); and the close at moments spread over the second and third second after the kill (5 runs).
# Usage: bench/measure_program.sh [seconds]     (30 by default: the CPU and memory run; builds the release preset)
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
pids=()
source "$root/bench/common.sh"
work="$(mktemp -d)"
program="$bin/app/zemtar_tuner"
pipewire="$root/tests/support/pipewire_server.sh"
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$pulse" stop "$work/pulse" >/dev/null 2>&1 || true
  for kind in pulseaudio pipewire-plugin pipewire-pulse; do "$(server_script $kind)" stop "$work/$kind" >/dev/null 2>&1 || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

maximum() { sort -n | tail -1; }

"$audio" tone "$work/tone.raw" 196 90 10
mkfifo "$work/tone.pipe"
"$audio" config "$work/asound.conf" "$work/tone.pipe"
"$audio" feed "$work/tone.pipe" "$work/tone.raw" --loop &
pids+=($!)

start_xvfb

# CPU and memory, and the first drawn tick (the level bar's first column turns green).
read -r tuner first_tick_ms < <(ALSA_CONFIG_PATH="$work/asound.conf" "$probe" "$program" "$root" first-tick 2>/dev/null)
ticks_per_s=$(getconf CLK_TCK)
read_cpu_ticks() { awk '{print $14 + $15}' "/proc/$tuner/stat"; }
cpu0=$(read_cpu_ticks); t0=$(date +%s%N)
sleep "$seconds"
cpu1=$(read_cpu_ticks); t1=$(date +%s%N)
hwm_kb=$(awk '/VmHWM/ {print $2}' "/proc/$tuner/status")
kill "$tuner"
cpu_percent=$(awk -v c=$((cpu1 - cpu0)) -v hz="$ticks_per_s" -v ns=$((t1 - t0)) \
  'BEGIN { printf "%.2f", 100 * (c / hz) / (ns / 1e9) }')

# With a private PulseAudio daemon playing a 340 Hz tone at 50 ms latency, as a desktop's sound server serves a
# microphone: the first estimate, the close in steady recording (5 s after start) and over the first second
# (the window is mapped at about 0.2 s; a request before that waits for it), and the close one second after the
# daemon was killed.
"$audio" tone "$work/tone30.raw" 340 90 30   # a little sharp of string 1, selected at start: the pointer shows
start_pulse() {
  eval "$("$pulse" start "$work/pulse" | sed 's/^/export /')"
  pacat --latency-msec=50 --format=u8 --rate=11025 --channels=1 "$work/tone30.raw" 2>/dev/null &
  player=$!
  sleep 0.3
}
stop_pulse() { kill "$player" 2>/dev/null || true; wait "$player" 2>/dev/null || true; "$pulse" stop "$work/pulse" >/dev/null; }
first=(); steady=(); early=(); lost=()
"$audio" tone "$work/tone320.raw" 320 90 30  # flat of string 1: the server's new tone after its return
start_pulse
for i in $(seq 1 5); do
  first+=("$("$probe" "$program" "$root" first-estimate 2>/dev/null)")
done
for i in $(seq 1 10); do
  read -r ms _ < <("$probe" "$program" "$root" close 5000 2>/dev/null)
  steady+=("$ms")
  read -r ms _ < <("$probe" "$program" "$root" close $((i * 100)) 2>/dev/null)
  early+=("$ms")
done
stop_pulse
for i in $(seq 1 10); do
  start_pulse
  read -r ms _ < <("$probe" "$program" "$root" close 1000 "$("$pulse" pid "$work/pulse")" 2>/dev/null)
  lost+=("$ms")
  stop_pulse
done

# Over each sound server. The device thread is the program's first thread named zt-alsa-capture (threads that ALSA's
# plugins start from it may inherit the name); its voluntary context switches are its wake-ups from a wait.
server_script() { if [ "$1" = pulseaudio ]; then echo "$pulse"; else echo "$pipewire"; fi; }
server_command() { echo "'$(server_script "$1")' start '$work/$1'$([ "$1" != pipewire-plugin ] || echo ' plugin')"; }
start_server() {  # KIND
  eval "$(eval "$(server_command "$1")" | sed 's/^/export /')"
  pacat --latency-msec=50 --format=u8 --rate=11025 --channels=1 "$work/tone30.raw" 2>/dev/null &
  sleep 0.3
}
server_pid() { "$(server_script "$1")" pid "$work/$1"; }
capture_thread() {
  for task in /proc/"$1"/task/*; do if [ "$(cat "$task/comm" 2>/dev/null)" = zt-alsa-capture ]; then echo "$task"; break; fi; done
}
wakeups() { awk '/^voluntary_ctxt_switches/ {print $2}' "$1/status"; }
per_second() { awk -v n="$1" -v ns="$2" 'BEGIN { printf "%.1f", n / (ns / 1e9) }'; }
declare -A wake_steady wake_lost cpu_lost returned closed_lost
for kind in pulseaudio pipewire-plugin pipewire-pulse; do
  start_server "$kind"
  read -r tuner _ < <("$probe" "$program" "$root" first-tick 2>/dev/null)
  thread=$(capture_thread "$tuner")
  w0=$(wakeups "$thread"); t0=$(date +%s%N)
  sleep 10
  w1=$(wakeups "$thread"); t1=$(date +%s%N)
  wake_steady[$kind]=$(per_second $((w1 - w0)) $((t1 - t0)))
  kill -KILL "$(server_pid "$kind")"
  sleep 0.5
  w0=$(wakeups "$thread"); cpu0=$(read_cpu_ticks); t0=$(date +%s%N)
  sleep 10
  w1=$(wakeups "$thread"); cpu1=$(read_cpu_ticks); t1=$(date +%s%N)
  kill "$tuner"
  wake_lost[$kind]=$(per_second $((w1 - w0)) $((t1 - t0)))
  cpu_lost[$kind]=$(awk -v c=$((cpu1 - cpu0)) -v hz="$ticks_per_s" -v ns=$((t1 - t0)) \
    'BEGIN { printf "%.2f", 100 * (c / hz) / (ns / 1e9) }')
  restart="$(server_command "$kind") >/dev/null && { PULSE_SERVER='$PULSE_SERVER' pacat --latency-msec=50 \
    --format=u8 --rate=11025 --channels=1 '$work/tone320.raw' >/dev/null 2>&1 & }"
  times=(); closes=()
  for i in $(seq 1 5); do
    start_server "$kind"
    times+=("$("$probe" "$program" "$root" return "$(server_pid "$kind")" "$restart" 2>/dev/null)")
    start_server "$kind"
    read -r ms _ < <("$probe" "$program" "$root" close $((750 + i * 250)) "$(server_pid "$kind")" 2>/dev/null)
    closes+=("$ms")
  done
  returned[$kind]="median $(printf '%s\n' "${times[@]}" | median) ms of ${times[*]}"
  closed_lost[$kind]="median $(printf '%s\n' "${closes[@]}" | median) ms, max $(printf '%s\n' "${closes[@]}" | maximum) ms"
  "$(server_script "$kind")" stop "$work/$kind" >/dev/null
done

echo "measured under Xvfb (CPU, memory, first tick: a 196 Hz tone from a pipe; the rest: 340 Hz from PulseAudio):"
echo "  CPU time per wall second:   ${cpu_percent} % of one core over ${seconds} s   (target < 1 %)"
echo "  peak RSS:                   $((hwm_kb / 1024)) MB                     (target < 60 MB)"
echo "  start to first drawn tick:  ${first_tick_ms} ms                  (target < 500 ms)"
echo "  close, steady recording:    median $(printf '%s\n' "${steady[@]}" | median) ms, max $(printf '%s\n' "${steady[@]}" | maximum) ms   (target median <= 100 ms)"
echo "  close in the first second:  median $(printf '%s\n' "${early[@]}" | median) ms, max $(printf '%s\n' "${early[@]}" | maximum) ms   (target <= 300 ms)"
echo "  close after the server died: median $(printf '%s\n' "${lost[@]}" | median) ms, max $(printf '%s\n' "${lost[@]}" | maximum) ms  (target <= 300 ms)"
echo "  start to first estimate (PulseAudio, 50 ms latency): median $(printf '%s\n' "${first[@]}" | median) ms of ${first[*]}   (target <= 1300 ms)"
for kind in pulseaudio pipewire-plugin pipewire-pulse; do
  echo "over $kind:"
  echo "  device thread's wake-ups, first 10 s of recording: ${wake_steady[$kind]} /s   (target <= about 22 /s)"
  echo "  server killed: program CPU ${cpu_lost[$kind]} % of one core, thread wake-ups ${wake_lost[$kind]} /s over 10 s   (target < 1 %)"
  echo "  server's return to the new estimate on screen: ${returned[$kind]}   (target <= 3000 ms)"
  echo "  close 1 to 2 s after the server was killed: ${closed_lost[$kind]}   (target <= 300 ms)"
done
