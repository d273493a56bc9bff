#!/usr/bin/env bash
# A private PulseAudio daemon for tests: its own runtime folder, no system-wide or user configuration read or
# written, anonymous clients on its own socket.
#
#   pulse_server.sh start DIR [pipe FIFO]   start it; prints the environment its clients need (see below)
#   pulse_server.sh stop DIR                stop it (SIGTERM, then SIGKILL after 2 s)
#   pulse_server.sh pid DIR                 print the daemon's process id
#
# Without `pipe`, a null sink "zt_sink" at 11025 Hz mono takes what clients play, and its monitor is the default
# source. With `pipe FIFO`, the default source is "zt_pipe", which reads unsigned 8-bit mono at 11025 Hz from the
# named pipe FIFO (created if missing; write to it with `zt_test_audio feed`).
#
# `start` waits (at most 10 s) until the daemon answers, then prints, one per line:
#   PULSE_SERVER=unix:DIR/native       for libpulse clients (paplay, pactl, Wine's sound driver)
#   ALSA_CONFIG_PATH=DIR/asound.conf   an ALSA configuration whose "default" PCM is this daemon
# DIR/pulse.log keeps the daemon's log.
set -euo pipefail

usage() { echo "usage: $0 start DIR [pipe FIFO] | stop DIR | pid DIR" >&2; exit 2; }
[ $# -ge 2 ] || usage
command=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
pidfile="$dir/daemon.pid"

# A daemon that has ended may stay a zombie that nobody reaps: it counts as gone.
alive() { [ -r "/proc/$1/stat" ] && ! sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'; }

stop_daemon() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 1 40); do
        alive "$pid" || return 0
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
}

case "$command" in
start)
    source_line="set-default-source zt_sink.monitor"
    pipe_line=""
    if [ $# -ge 4 ] && [ "$3" = pipe ]; then
        fifo=$4
        # The pipe source makes the pipe itself and refuses one that exists (and removes it when it unloads).
        [ ! -p "$fifo" ] || rm -f "$fifo"
        pipe_line="load-module module-pipe-source source_name=zt_pipe file=$fifo format=u8 rate=11025 channels=1"
        source_line="set-default-source zt_pipe"
    elif [ $# -ne 2 ]; then
        usage
    fi
    stop_daemon
    mkdir -p "$dir/runtime" "$dir/state" "$dir/config"
    rm -f "$dir/native"
    cat >"$dir/daemon.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=zt_sink rate=11025 channels=1
set-default-sink zt_sink
$pipe_line
$source_line
EOF
    cat >"$dir/asound.conf" <<EOF
pcm.!default { type pulse server "unix:$dir/native" }
ctl.!default { type pulse server "unix:$dir/native" }
EOF
    # Only what the daemon needs: its own folders, no session bus, no autospawned or system daemon.
    env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
        PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
        pulseaudio --daemonize=no --system=no -n -F "$dir/daemon.pa" --exit-idle-time=-1 \
        --use-pid-file=no --disable-shm=yes --log-target="file:$dir/pulse.log" --log-level=info \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 1 200); do
        # Answering is not enough: a module that failed to load leaves a daemon without the default source.
        if PULSE_SERVER="unix:$dir/native" pactl info 2>/dev/null | grep -qx "Default Source: ${source_line#set-default-source }"; then
            echo "PULSE_SERVER=unix:$dir/native"
            echo "ALSA_CONFIG_PATH=$dir/asound.conf"
            exit 0
        fi
        if ! alive "$(cat "$pidfile")"; then break; fi
        sleep 0.05
    done
    echo "pulse_server.sh: the daemon did not answer; see $dir/pulse.log" >&2
    stop_daemon
    exit 1
    ;;
stop)
    stop_daemon
    ;;
pid)
    cat "$pidfile"
    ;;
*)
    usage
    ;;
esac
