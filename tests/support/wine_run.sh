#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: the cross-compiling emulator of the windows configuration
# (cmake/mingw-w64-x86_64.cmake).
#   wine_run.sh PREFIX PROGRAM [ARGS...]   runs PROGRAM (a path on this machine) and returns its exit code
#   wine_run.sh PREFIX --boot              only makes sure the prefix exists
# The first use creates PREFIX (wineboot, time-limited) and selects Wine's PulseAudio driver, so the wave-input
# calls record from the PulseAudio server named by PULSE_SERVER (tests/support/pulse_server.sh starts one).
# Uses that arrive together wait for the one that creates the prefix.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: wine_run.sh PREFIX PROGRAM [ARGS...] | wine_run.sh PREFIX --boot" >&2; exit 2; }
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko: the tests use neither, and looking for them slows the first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
# No window ever appears, whatever display this shell has.
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock -w 360 9 || { echo "wine_run.sh: $prefix is being created by another run for too long" >&2; exit 1; }
if [ ! -e "$prefix/zt-ready" ]; then
  rm -rf "$prefix"
  log="$prefix.boot.log"
  # (9>&-: the server these start must not hold the lock for its whole life.)
  if ! { timeout 240 wineboot --init &&
         timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d pulse /f; } >"$log" 2>&1 9>&-; then
    echo "wine_run.sh: could not create the Wine prefix $prefix:" >&2
    cat "$log" >&2
    exit 1
  fi
  touch "$prefix/zt-ready"
fi
# The server stays 10 s after its last program, so that the next test program does not start it again.
wineserver -p10 </dev/null >/dev/null 2>&1 9>&- || true
exec 9>&-

[ "$1" = --boot ] && exit 0

# Wine's background programs (services, device manager) inherit the output of the program that starts them and
# outlive it, so a caller reading a pipe (CTest) would wait for them. The program writes into files instead, which
# are handed on once it has ended.
out=$(mktemp "${TMPDIR:-/tmp}/wine_run.XXXXXX")
trap 'cat "$out.out" 2>/dev/null; cat "$out.err" >&2 2>/dev/null; rm -f "$out" "$out.out" "$out.err"' EXIT
trap 'exit 143' TERM INT  # a test stopped at its time limit still shows what it wrote
status=0
wine "$@" </dev/null >"$out.out" 2>"$out.err" || status=$?
exit "$status"
