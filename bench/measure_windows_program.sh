#!/usr/bin/env bash
# Measures the Windows program under Wine beside the Linux program on the same machine, on one Xvfb:
#  - the installer's size and the installed size (the release build: scripts/package-windows.sh);
#  - start to the first drawn tick (the level bar's first column turns green), median of 5;
#  - CPU time per second of wall time while it records a 196 Hz tone from a private PulseAudio server (a pipe
#    source fed in real time): the program's process plus Wine's server for the Windows program, the program's
#    process for the Linux one, which reads the same server through ALSA's pulse plugin.
# Usage: bench/measure_windows_program.sh [seconds]     (30 by default: the CPU run)
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/package-windows.sh" installer >/dev/null
installer=$(ls "$root"/build/windows-release/zemtar-tuner-*-win64.exe)

pids=()
source "$root/bench/common.sh"
work="$(mktemp -d)"
prefix="$work/wine"
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  "$pulse" stop "$work/pulse" >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb
export ZT_WINE_DISPLAY="$DISPLAY"

"$audio" tone "$work/tone.raw" 196 60 20.897959183673468
eval "$("$pulse" start "$work/pulse" pipe "$work/tone.fifo" | sed 's/^/export /')"
"$audio" feed "$work/tone.fifo" "$work/tone.raw" --loop &
pids+=($!)

# The installed Windows program's process (Wine names it by the path it was started with), or the Linux one.
wine_pattern='^(/|C:).*Zemtar Tuner.zemtar_tuner\.exe'  # the program itself, named by its path
prefix_server() {  # the Wine server of this prefix (wineserver64 on Debian)
  local p
  for p in $(pgrep wineserver || true); do
    if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then echo "$p"; return; fi
  done
}
end_program() { pkill -f "$wine_pattern" || true; kill "$1" 2>/dev/null || true; }
# The installed program, as the Start-menu shortcut starts it: in its folder.
"$root/tests/support/wine_run.sh" "$prefix" "$installer" /S
installed="$prefix/drive_c/Program Files/Zemtar Tuner"
cat >"$work/windows-tuner" <<WRAPPER
#!/bin/sh
exec "$root/tests/support/wine_run.sh" "$prefix" "$installed/zemtar_tuner.exe"
WRAPPER
chmod +x "$work/windows-tuner"
# Wine's first start of a program in a new prefix sets the prefix up (fonts and more), which is no Windows
# user's wait: one start of 30 s before the measurements.
"$work/windows-tuner" >/dev/null 2>&1 &
sleep 30
end_program $!

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
percent() { awk -v c="$1" -v hz="$(getconf CLK_TCK)" -v ns="$2" 'BEGIN { printf "%.2f", 100 * (c / hz) / (ns / 1e9) }'; }
measure() {  # PROGRAM WORKING_DIRECTORY WINDOWS(0/1): prints "<first tick median ms> <program cpu %> <server cpu %>"
  local program=$1 dir=$2 windows=$3 ticks=() pid ms i server="" p0 p1 s0=0 s1=0 t0 t1
  for i in 1 2 3 4 5 6; do
    read -r pid ms < <("$probe" "$program" "$dir" first-tick 2>/dev/null)
    [ "$i" -gt 1 ] && ticks+=("$ms")   # the first run of each also warms the caches (Wine's server, fonts)
    if [ "$i" -lt 6 ]; then end_program "$pid"; sleep 1; fi
  done
  if [ "$windows" = 1 ]; then pid=$(pgrep -f "$wine_pattern" | head -1); server=$(prefix_server); fi
  p0=$(cpu_ticks "$pid"); [ -z "$server" ] || s0=$(cpu_ticks "$server"); t0=$(date +%s%N)
  sleep "$seconds"
  p1=$(cpu_ticks "$pid"); [ -z "$server" ] || s1=$(cpu_ticks "$server"); t1=$(date +%s%N)
  end_program "$pid"
  echo "$(printf '%s\n' "${ticks[@]}" | median) $(percent $((p1 - p0)) $((t1 - t0))) $(percent $((s1 - s0)) $((t1 - t0)))"
}
read -r wine_tick wine_cpu wine_server < <(measure "$work/windows-tuner" "$installed" 1)
read -r linux_tick linux_cpu _ < <(measure "$bin/app/zemtar_tuner" "$root" 0)

echo "Windows program (release) under Wine $(wine --version | sed 's/^wine-//'), beside the Linux program, one Xvfb:"
echo "  installer:                  $(($(stat -c %s "$installer") / 1024)) KiB"
echo "  installed:                  $(du -sk "$installed" | cut -f1) KiB"
echo "  start to first drawn tick:  Wine ${wine_tick} ms, Linux ${linux_tick} ms (median of 5)"
echo "  CPU per wall second:        Wine ${wine_cpu} % (and Wine's server ${wine_server} %), Linux ${linux_cpu} % over ${seconds} s"
