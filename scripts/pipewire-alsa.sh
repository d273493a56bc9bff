#!/usr/bin/env bash
# Prints the folder that holds PipeWire's ALSA plugins (libasound_module_pcm_pipewire.so) for the installed
# libpipewire, fetching them first when they are not there yet.
# Debian 12's pipewire-alsa conflicts with pulseaudio, which the tests need too, so the package is not installed:
# `apt-get download` fetches the one of the installed libpipewire's version, and `dpkg-deb -x` unpacks it into
# ${XDG_CACHE_HOME:-~/.cache}/zemtar-tuner/pipewire-alsa/<version>. Nothing of the system's is touched.
# The tests' PipeWire (tests/support/pipewire_server.sh) points an ALSA configuration of its own at the plugin.
set -euo pipefail
version=$(dpkg-query -W -f='${Version}' libpipewire-0.3-0 2>/dev/null) || {
  echo "pipewire-alsa.sh: libpipewire-0.3-0 is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
}
cache="${XDG_CACHE_HOME:-$HOME/.cache}/zemtar-tuner/pipewire-alsa/$version"
find_plugins() {
  local plugin
  plugin=$(find "$cache/root" -name libasound_module_pcm_pipewire.so -print -quit 2>/dev/null)
  [ -n "$plugin" ] && dirname "$plugin"
}
if find_plugins; then
  exit 0
fi
mkdir -p "$cache"
# Parallel test runs may get here together: one fetches, the others wait for it.
exec 9>"$cache/lock"
flock -w 300 9
if ! find_plugins; then
  download=$(mktemp -d)
  trap 'rm -rf "$download"' EXIT
  if ! (cd "$download" && apt-get download -q "pipewire-alsa=$version" >/dev/null 2>&1); then
    # The package lists may not know this version yet.
    if [ "$(id -u)" -eq 0 ]; then apt-get -o DPkg::Lock::Timeout=900 update -qq; else sudo apt-get update -qq; fi
    (cd "$download" && apt-get download -q "pipewire-alsa=$version" >/dev/null)
  fi
  rm -rf "$cache/root"
  dpkg-deb -x "$download"/pipewire-alsa_*.deb "$cache/root"
  find_plugins
fi
