#!/usr/bin/env bash
# Sets everything up, builds the release configuration and starts the tuner.
# The program loads ./img/*.bmp relative to its working directory, so it runs from the repository root.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
cmake --preset release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release --target zemtar_tuner
exec "$root/build/release/app/zemtar_tuner"
