#!/usr/bin/env bash
# Makes the Windows installer or the ZIP from Linux: a release build of the whole program for Windows
# (preset windows-release, folder build/windows-release) with the Qt for Windows of scripts/build-qt-windows.sh
# (built once per machine: the first time takes 25 to 45 minutes on 2 cores), packed by CPack.
# Usage: scripts/package-windows.sh installer   build/windows-release/zemtar-tuner-<version>-win64.exe (NSIS)
#        scripts/package-windows.sh zip         build/windows-release/zemtar-tuner-<version>-win64.zip
set -euo pipefail
case "${1:-}" in
  installer) generator=NSIS ;;
  zip) generator=ZIP ;;
  *) echo "usage: $0 installer|zip" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"
qt=$("$root/scripts/build-qt-windows.sh")
cmake --preset windows-release -DZT_QT_WINDOWS_DIR="$qt" >/dev/null
cmake --build --preset windows-release
(cd build/windows-release && cpack -G "$generator")
