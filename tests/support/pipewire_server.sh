#!/usr/bin/env bash
# A private PipeWire for tests, as a desktop runs it: pipewire, wireplumber (its ALSA, camera and Bluetooth monitors
# off: no real device is opened) and pipewire-pulse, on a D-Bus session bus of their own, all under DIR; nothing of
# the machine's or the user's configuration is read or written. As pulse_server.sh (null sink only):
#   pipewire_server.sh start DIR [plugin] | stop DIR | pid DIR (of pipewire itself)
# `start` (again: a restart, as systemd does it) prints PULSE_SERVER=... and ALSA_CONFIG_PATH=...: "default" is ALSA's
# pulse plugin talking to pipewire-pulse (as on a Debian 12 desktop), or with `plugin` PipeWire's own ALSA plugin
# (from pipewire-alsa, unpacked into a cache folder by scripts/pipewire-alsa.sh). DIR/*.log keep the logs.
set -euo pipefail
usage() { echo "usage: $0 start DIR [plugin] | stop DIR | pid DIR" >&2; exit 2; }
[ $# -ge 2 ] || usage
command=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2

# A daemon that has ended may stay a zombie that nobody reaps: it counts as gone.
alive() { [ -r "/proc/$1/stat" ] && ! sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'; }
stop_daemons() {
    for name in pipewire-pulse wireplumber pipewire dbus; do
        [ -f "$dir/$name.pid" ] || continue
        pid=$(cat "$dir/$name.pid")
        rm -f "$dir/$name.pid"
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 1 40); do alive "$pid" && sleep 0.05 || continue 2; done
        kill -KILL "$pid" 2>/dev/null || true
    done
}
# One daemon with only its own folders and bus: no display, nothing of the user's session.
launch() {
    env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
        XDG_STATE_HOME="$dir/state" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" "${@:2}" \
        </dev/null >"$dir/$1.log" 2>&1 &
    echo $! >"$dir/$1.pid"
    for _ in $(seq 1 100); do [ -z "${wait_for:-}" ] || [ -S "$wait_for" ] && break; sleep 0.02; done
}

case "$command" in
start)
    pulse="unix:$dir/runtime/pulse/native"
    pcm="type pulse server \"$pulse\""
    if [ "${1:-}" = plugin ]; then
        plugins=$("$(dirname "$0")/../../scripts/pipewire-alsa.sh")
        pcm="type pipewire server \"$dir/runtime/pipewire-0\" capture_node \"-1\" playback_node \"-1\""
        printf 'pcm_type.pipewire { lib "%s" }\n' "$plugins/libasound_module_pcm_pipewire.so" >"$dir/asound.conf"
    elif [ $# -eq 0 ]; then
        : >"$dir/asound.conf"
    else
        usage
    fi
    echo "pcm.!default { $pcm }" >>"$dir/asound.conf"
    stop_daemons
    rm -rf "$dir/runtime" "$dir/bus"
    mkdir -p "$dir/runtime" "$dir/state" "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
    printf '%s_monitor.enabled = false\n' alsa v4l2 libcamera >"$dir/config/wireplumber/main.lua.d/51-zt-no-devices.lua"
    echo 'bluez_monitor.enabled = false' >"$dir/config/wireplumber/bluetooth.lua.d/51-zt-no-devices.lua"
    cat >"$dir/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:path=$dir/bus</listen><auth>EXTERNAL</auth><policy context="default">
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
EOF
    wait_for="$dir/bus" launch dbus dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile
    wait_for="$dir/runtime/pipewire-0" launch pipewire pipewire
    launch wireplumber wireplumber
    launch pipewire-pulse pipewire-pulse
    export PULSE_SERVER=$pulse
    for _ in $(seq 1 200); do
        # Loaded once; the default source is wireplumber's to keep, so it is asked for until it holds.
        loaded=${loaded:-$(pactl load-module module-null-sink sink_name=zt_sink rate=11025 channels=1 2>/dev/null || true)}
        if [ -n "$loaded" ] && pactl set-default-source zt_sink.monitor 2>/dev/null &&
            pactl set-default-sink zt_sink 2>/dev/null && [ "$(pactl get-default-source 2>/dev/null)" = zt_sink.monitor ]; then
            printf 'PULSE_SERVER=%s\nALSA_CONFIG_PATH=%s\n' "$pulse" "$dir/asound.conf"
            exit 0
        fi
        sleep 0.05
    done
    echo "pipewire_server.sh: no default source within 10 s; see $dir/*.log" >&2
    stop_daemons; exit 1 ;;
stop) stop_daemons ;;
pid) cat "$dir/pipewire.pid" ;;
*) usage ;;
esac
