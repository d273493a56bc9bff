#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the tuner need.
# Idempotent: packages already present are left alone. Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libasound2-dev alsa-utils libasound2-plugins
  fonts-liberation
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libkissfft-dev
  xvfb xauth x11-utils imagemagick
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
