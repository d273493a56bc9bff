#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset]   (debug by default; also release, asan-ubsan, tsan)
set -euo pipefail
preset="${1:-debug}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j2 --no-tests=error   # no test at all is a failure, not a pass
