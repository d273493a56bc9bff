#!/usr/bin/env bash
# A screen reader of the test's own: Debian's Orca in a private D-Bus session (at-spi2-core's accessibility bus
# starts on it), with home, XDG folders and preferences in DIR (no setting of the machine's or the user's is read
# or touched); speech on, through speech-dispatcher's dummy module into libao's null driver (no sound card).
# Orca's debug log, with "SPEECH OUTPUT: '...'" for what it says, goes to a terminal that script(1) writes out
# line by line into DIR/orca.log. Orca refuses to start while another Orca of the user runs.
#   orca_session.sh start DIR DISPLAY   waits (60 s at most) for Orca's first words, prints NAME=value lines
#                                       for the programs Orca is to read
#   orca_session.sh stop DIR            ends Orca, its speech-dispatcher and the bus, by their process ids
set -u
dir=$2
end() {  # PID NAME: SIGTERM if PID runs NAME, SIGKILL after 5 s (a zombie nobody reaps counts as ended)
  grep -qa "$2" "/proc/$1/cmdline" 2>/dev/null || return 0
  kill "$1"
  for _ in $(seq 50); do [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null || echo Z)" = Z ] && return 0; sleep 0.1; done
  kill -9 "$1"
}
spoke() { grep -qa "SPEECH OUTPUT" "$dir/orca.log" 2>/dev/null; }
case "$1" in
start)
  mkdir -p "$dir"/{home,config/speech-dispatcher,data,cache,prefs} && mkdir -m 700 "$dir/run" || exit 1
  printf 'AudioOutputMethod "libao"\nAddModule "dummy" "sd_dummy" ""\nDefaultModule "dummy"\n' \
    > "$dir/config/speech-dispatcher/speechd.conf"
  echo default_driver=null > "$dir/home/.libao"
  export DISPLAY=$3 HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data \
    XDG_CACHE_HOME=$dir/cache LANG=C.UTF-8  # Orca's own words in English
  unset AT_SPI_BUS_ADDRESS SPEECHD_ADDRESS SESSION_MANAGER LANGUAGE LC_ALL LC_MESSAGES
  dbus-daemon --session --fork --print-address=1 --print-pid=1 > "$dir/bus" || exit 1
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$dir/bus") && export DBUS_SESSION_BUS_ADDRESS
  script -qfc "exec orca --debug-file /dev/tty --user-prefs '$dir/prefs'" "$dir/orca.log" < /dev/null &> /dev/null &
  echo $! > "$dir/script.pid"
  for _ in $(seq 600); do spoke && break; sleep 0.1; done
  spoke || { echo "orca_session: Orca said nothing within 60 s" >&2; "$0" stop "$dir"; exit 1; }
  for v in DBUS_SESSION_BUS_ADDRESS HOME XDG_{RUNTIME_DIR,CONFIG_HOME,DATA_HOME,CACHE_HOME}; do echo "$v=${!v}"; done
  ;;
stop)
  s=$(cat "$dir/script.pid" 2>/dev/null)
  end "$(cat "/proc/$s/task/$s/children" 2>/dev/null | tr -d ' ')" orca
  end "$s" script
  end "$(cat "$dir/run/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)" speech-dispatcher
  end "$(sed -n 2p "$dir/bus" 2>/dev/null)" dbus-daemon  # the services the bus started end with it
  ;;
*) echo "usage: $0 start DIR DISPLAY | stop DIR" >&2 && exit 2 ;;
esac
