#!/usr/bin/env bash
# A screen reader of the test's own: Debian's Orca in a private D-Bus session (at-spi2-core's accessibility bus
# starts on it when asked for), with its own home, XDG folders and preferences in DIR, so that no setting of the
# machine's or the user's is read or touched. Speech is on, through the speech-dispatcher that Orca starts,
# set up with the dummy module and libao's null driver: no sound card is needed. Orca's debug log, whose
# "SPEECH OUTPUT: '...'" lines are what it says, goes to a terminal that script(1) writes out line by line
# into DIR/orca.log (a file would keep the last lines in Orca's buffer).
#   orca_session.sh start DIR DISPLAY   waits for Orca's first words (60 s at most); prints NAME=value lines
#                                       for the programs Orca is to read
#   orca_session.sh stop DIR            ends Orca, its speech-dispatcher and the bus, by their process ids
# Orca refuses to start while another Orca of the same user runs: give its tests a CTest RESOURCE_LOCK.
set -u
dir=$2
# SIGTERM to a process that runs `name`; SIGKILL after 5 s. (A zombie nobody reaps counts as ended.)
end() {
  [ -n "$1" ] && grep -qa "$2" "/proc/$1/cmdline" 2>/dev/null || return 0
  kill "$1" 2>/dev/null
  for _ in $(seq 50); do
    [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null || echo Z)" = Z ] && return 0
    sleep 0.1
  done
  kill -9 "$1" 2>/dev/null
}
case "$1" in
start)
  mkdir -p "$dir"/home "$dir"/config/speech-dispatcher "$dir"/data "$dir"/cache "$dir"/prefs && mkdir -m 700 "$dir/run" || exit 1
  printf 'AudioOutputMethod "libao"\nAddModule "dummy" "sd_dummy" ""\nDefaultModule "dummy"\n' \
    > "$dir/config/speech-dispatcher/speechd.conf"
  echo default_driver=null > "$dir/home/.libao"
  export DISPLAY=$3 HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data \
    XDG_CACHE_HOME=$dir/cache LANG=C.UTF-8  # Orca's own words in English
  unset AT_SPI_BUS_ADDRESS SPEECHD_ADDRESS SESSION_MANAGER LANGUAGE LC_ALL LC_MESSAGES
  dbus-daemon --session --fork --print-address=1 --print-pid=1 > "$dir/bus" || exit 1
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$dir/bus") && export DBUS_SESSION_BUS_ADDRESS
  script -q -f -c "exec orca --debug-file /dev/tty --user-prefs '$dir/prefs'" "$dir/orca.log" \
    < /dev/null > /dev/null 2>&1 &
  echo $! > "$dir/script.pid"
  for _ in $(seq 600); do
    grep -qa "SPEECH OUTPUT" "$dir/orca.log" 2>/dev/null && break
    sleep 0.1
  done
  if ! grep -qa "SPEECH OUTPUT" "$dir/orca.log" 2>/dev/null; then
    echo "orca_session: Orca said nothing within 60 s" >&2
    tail -c 3000 "$dir/orca.log" >&2
    "$0" stop "$dir"
    exit 1
  fi
  for name in DBUS_SESSION_BUS_ADDRESS HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME; do
    echo "$name=${!name}"
  done
  ;;
stop)
  s=$(cat "$dir/script.pid" 2>/dev/null)
  end "$(cat "/proc/$s/task/$s/children" 2>/dev/null | tr -d ' ')" orca
  end "$s" script
  end "$(cat "$dir/run/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)" speech-dispatcher
  # The services the bus started (the accessibility bus, at-spi2-registryd, dconf) end with it.
  end "$(sed -n 2p "$dir/bus" 2>/dev/null)" dbus-daemon
  ;;
*) echo "usage: $0 start DIR DISPLAY | stop DIR" >&2; exit 2 ;;
esac
