#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset]   (debug by default; also release, clang, asan-ubsan, tsan, windows)
# Without a preset it then also runs the windows configuration: the whole program cross-built for Windows with
# the Qt for Windows that scripts/build-qt-windows.sh builds once per machine (the first time takes 25 to 45
# minutes on 2 cores), its tests, the program, its installer and its ZIP under Wine (README, "Windows").
set -euo pipefail
preset="${1:-debug}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"

# Wine's own failures (tests/support/wine_run.sh) do not fail a test that passes when run again, but are shown.
show_wine_crashes() {
  local log
  for log in "$root"/build/windows/*.crashes.log; do
    [ -e "$log" ] || continue
    echo "test.sh: Wine failed to run these programs, and they were run again ($log):" >&2
    cat "$log" >&2
  done
}

run_windows() {
  local start=$SECONDS qt
  for tool in wine makensis x86_64-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null ||
      { echo "test.sh: $tool is missing (Debian packages wine, nsis, g++-mingw-w64-x86-64-posix: scripts/install-deps.sh)" >&2; return 1; }
  done
  qt=$("$root/scripts/build-qt-windows.sh") || { echo "test.sh: no Qt for Windows, so no windows configuration" >&2; return 1; }
  # Each step checked by hand: `set -e` does not apply inside a function called as `run_windows || ...`.
  rm -f "$root"/build/windows/*.crashes.log
  cmake --preset windows -DZT_QT_WINDOWS_DIR="$qt" &&
    cmake --build --preset windows &&
    ctest --preset windows -j2 --no-tests=error || { show_wine_crashes; return 1; }
  show_wine_crashes
  echo "test.sh: windows configuration built and tested in $((SECONDS - start)) s"
}

if [ "$preset" = windows ]; then
  run_windows
  exit
fi
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j2 --no-tests=error   # no test at all is a failure, not a pass
if [ $# -eq 0 ]; then
  run_windows || { echo "test.sh: the $preset suite passed; the windows configuration failed (above)" >&2; exit 1; }
fi
