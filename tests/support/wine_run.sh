#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: the cross-compiling emulator of the windows configuration
# (cmake/mingw-w64-x86_64.cmake).
#   wine_run.sh PREFIX PROGRAM [ARGS...]   runs PROGRAM (a path on this machine) and returns its exit code
#   wine_run.sh PREFIX --boot              only makes sure the prefix exists
#   wine_run.sh --again-if-wine-fails PREFIX PROGRAM [ARGS...]
#                                          (the test programs) runs PROGRAM once more if Wine failed to run it
# Wine makes every window, hidden ones too (Qt makes some even when it draws offscreen), on an X display: the one
# named by ZT_WINE_DISPLAY (the caller's own Xvfb, to look at the windows), or else a private Xvfb of the
# prefix's, started here and ended when the prefix's Wine server ends; never the display of this shell. Wine's
# server keeps the display of the run that started it: a caller that changes displays ends the server first
# (WINEPREFIX=PREFIX wineserver -k).
# The first use creates PREFIX (wineboot, time-limited) and selects Wine's PulseAudio driver, so the wave-input
# calls record from the PulseAudio server named by PULSE_SERVER (tests/support/pulse_server.sh starts one).
# Uses that arrive together wait for the one that creates the prefix.
set -euo pipefail
again=false
[ "${1:-}" = --again-if-wine-fails ] && { again=true; shift; }
[ $# -ge 2 ] || { echo "usage: wine_run.sh [--again-if-wine-fails] PREFIX PROGRAM [ARGS...] | wine_run.sh PREFIX --boot" >&2; exit 2; }
prefix=$1
shift

export WINEPREFIX="$prefix"
# Wine's messages off but its errors, which a working run does not print: a program that Wine cannot start then
# says why.
export WINEDEBUG=-all,err+all
# No Mono or Gecko: the tests use neither, and looking for them slows the first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock -w 600 9 || { echo "wine_run.sh: $prefix is being created by another run for too long" >&2; exit 1; }

# The private display: "PID :NUMBER" in PREFIX.xvfb while it runs. Every run holds PREFIX.display.lock shared
# until it ends (7, closed for Wine's own programs, which outlive it); the display is ended only under that lock
# held exclusively, so never while a run uses it or is about to.
private_display=""
if [ -n "${ZT_WINE_DISPLAY:-}" ]; then
  export DISPLAY="$ZT_WINE_DISPLAY"
else
  exec 7>"$prefix.display.lock"
  flock -s -w 60 7 || { echo "wine_run.sh: the private display of $prefix is held for too long" >&2; exit 1; }
  if read -r xvfb_pid display 2>/dev/null <"$prefix.xvfb" && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY="$display"
  else
    exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp </dev/null 2>/dev/null 9>&- 7>&- & echo "$!")
    read -r -t 10 xvfb_pid <&3 && read -r -t 10 number <&3 ||
      { echo "wine_run.sh: Xvfb did not start (package xvfb)" >&2; exit 1; }
    exec 3<&-
    echo "$xvfb_pid :$number" >"$prefix.xvfb"
    export DISPLAY=":$number"
    private_display=$xvfb_pid
  fi
fi
if [ ! -e "$prefix/zt-ready" ]; then
  log="$prefix.boot.log"
  : >"$log"
  # Creating a prefix has been seen to fail once on a fresh machine with no word from Wine beyond its usual
  # messages, so each step runs time-limited into the log, its status noted there, and a failed creation is tried
  # again from scratch. (9>&- 7>&-: the server the steps start must not hold the locks for its whole life.)
  step() {
    local limit=$1 code=0
    shift
    timeout "$limit" "$@" </dev/null >>"$log" 2>&1 9>&- 7>&- || code=$?
    echo "wine_run.sh: attempt $attempt: $1 $2 ended with status $code" >>"$log"
    return "$code"
  }
  status=1
  for attempt in 1 2 3; do
    wineserver -k </dev/null >/dev/null 2>&1 9>&- 7>&- || true
    rm -rf "$prefix"
    if step 150 wineboot --init &&
       step 30 wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d pulse /f; then
      status=0
      break
    fi
  done
  if [ "$status" -ne 0 ]; then
    echo "wine_run.sh: could not create the Wine prefix $prefix in 3 attempts:" >&2
    cat "$log" >&2
    [ -z "$private_display" ] || { kill "$private_display" 2>/dev/null; rm -f "$prefix.xvfb"; }
    exit 1
  fi
  touch "$prefix/zt-ready"
fi
# The server stays 10 s after its last program, so that the next test program does not start it again.
wineserver -p10 </dev/null >/dev/null 2>&1 9>&- 7>&- || true
if [ -n "$private_display" ]; then
  # Ends the private display once the server has ended, no run holds the display and no server has started again.
  (
    exec 7>&-
    while :; do
      wineserver -w || true
      exec 8>"$prefix.display.lock"
      flock -x 8
      if timeout 1 wineserver -w; then
        kill "$private_display" 2>/dev/null
        rm -f "$prefix.xvfb"
        exit 0
      fi
      exec 8>&-
    done
  ) </dev/null >/dev/null 2>&1 9>&- &
fi
exec 9>&-

[ "$1" = --boot ] && exit 0

# Wine's background programs (services, device manager) inherit the output of the program that starts them and
# outlive it, so a caller reading a pipe (CTest) would wait for them. The program writes into files instead, which
# are handed on once it has ended.
out=$(mktemp "${TMPDIR:-/tmp}/wine_run.XXXXXX")
trap 'cat "$out.out" 2>/dev/null; cat "$out.err" >&2 2>/dev/null; rm -f "$out" "$out.out" "$out.err"' EXIT
trap 'exit 143' TERM INT  # a test stopped at its time limit still shows what it wrote
run() {
  status=0
  started=$SECONDS
  wine "$@" </dev/null >"$out.out" 2>"$out.err" 7>&- || status=$?
}
run "$@"
# Wine failing to run the program: the Wine process killed by a signal (SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV;
# a Windows program's own crash ends it with the exception's code), seen once after a test had passed; or, for a
# test program, an end before it wrote anything on its output (a test program writes its header first and
# flushes each line), seen once on a fresh machine: status 1 after 0.04 s, where starting the program alone takes
# 0.25 s. Neither came back in about 1500 runs here. Such a run is written into PREFIX.crashes.log (scripts/test.sh
# shows it) and, for the test programs, made again.
wine_failed() {
  case $status in 132|134|135|136|139) echo "signal $((status - 128))"; return 0 ;; esac
  $again && [ ! -s "$out.out" ] && echo "status $status before any output"
}
if failure=$(wine_failed); then
  {
    echo "$(date -u '+%F %T') $* ended with $failure after $((SECONDS - started)) s$($again && echo '; run again'); its output:"
    cat "$out.out" "$out.err" | tail -n 20 | sed 's/^/  /'
  } >>"$prefix.crashes.log"
  if $again; then
    echo "wine_run.sh: Wine failed to run $1 ($failure); running it again (${prefix}.crashes.log)" >&2
    run "$@"
  fi
fi
# A program that Wine ends at once may fail without a word, and a test program that wrote nothing ran no test.
if [ "$status" -ne 0 ] || $again; then
  [ -s "$out.out" ] || [ -s "$out.err" ] ||
    echo "wine_run.sh: $1 ended with status $status after $((SECONDS - started)) s, with no output" >"$out.err"
fi
$again && [ ! -s "$out.out" ] && [ "$status" -eq 0 ] && status=1
exit "$status"
