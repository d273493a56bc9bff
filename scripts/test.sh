#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset]   (debug by default; also release, asan-ubsan, tsan, windows)
# Without a preset it then also runs the windows configuration: the non-GUI parts cross-built for Windows and
# their tests under Wine (README, "Windows").
set -euo pipefail
preset="${1:-debug}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j2 --no-tests=error   # no test at all is a failure, not a pass
if [ $# -eq 0 ]; then
  windows_start=$SECONDS
  cmake --preset windows
  cmake --build --preset windows
  ctest --preset windows -j2 --no-tests=error
  echo "test.sh: windows configuration built and tested in $((SECONDS - windows_start)) s"
fi
