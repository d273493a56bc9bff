#!/usr/bin/env bash
# Sets up what building and running needs, builds the program alone (preset "run", folder build/run, never
# shared with the test and benchmark presets) and starts the tuner.
# The program loads ./img/*.bmp relative to its working directory, so it runs from the repository root.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh" --runtime
cmake --preset run >/dev/null
cmake --build --preset run --target zemtar_tuner
exec "$root/build/run/app/zemtar_tuner"
