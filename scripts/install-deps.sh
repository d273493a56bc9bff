#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the tuner need.
# Usage: scripts/install-deps.sh [--runtime]
#   --runtime   only what building and running the program needs (compiler, CMake, Qt 6, ALSA, fonts)
#   (default)   that and the test and benchmark tools
# Only packages that dpkg-query does not report installed are installed, with apt-get, as root or through
# sudo; when all are there, nothing is run. On a system without dpkg the script says what to install itself.
# The full set also fetches PipeWire's ALSA plugin for the tests into a cache folder (scripts/pipewire-alsa.sh).
set -euo pipefail

runtime=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libasound2-dev libasound2-plugins
  fonts-liberation qt6-translations-l10n
)
tests=(
  git alsa-utils python3 clang
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libkissfft-dev
  xvfb xauth libxcb1-dev
  desktop-file-utils appstream lintian dpkg-dev file
  pulseaudio pulseaudio-utils
  pipewire pipewire-pulse wireplumber dbus-daemon
  orca at-spi2-core xdotool
  g++-mingw-w64-x86-64-posix wine wine64 nsis libxcb-xtest0-dev
)

case "${1:-}" in
  --runtime) packages=("${runtime[@]}") ;;
  "") packages=("${runtime[@]}" "${tests[@]}") ;;
  *) echo "usage: $0 [--runtime]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps: no dpkg here; install your distribution's equivalents of: ${packages[*]}" >&2
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
  elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
  else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  $SUDO apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=900 "${missing[@]}"
  # PipeWire's Pulse server and session manager are test tools here, started privately by the tests. Their
  # packages enable user services for every log-in, which on a desktop running PulseAudio would fight it for
  # the sound cards and the Pulse socket: when this script installed them, those services are disabled again,
  # so the desktop keeps the sound server it had.
  for p in "${missing[@]}"; do
    case "$p" in
      pipewire-pulse) units=(pipewire-pulse.socket pipewire-pulse.service) ;;
      wireplumber) units=(wireplumber.service) ;;
      *) continue ;;
    esac
    if command -v systemctl >/dev/null 2>&1; then
      $SUDO systemctl --global disable "${units[@]}" >/dev/null 2>&1 || true
    fi
  done
fi

if [ "${1:-}" != --runtime ]; then
  "$(dirname "${BASH_SOURCE[0]}")/pipewire-alsa.sh" >/dev/null
fi
