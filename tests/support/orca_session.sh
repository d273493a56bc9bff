#!/usr/bin/env bash
# A screen reader of the test's own: Debian's Orca in a private D-Bus session (at-spi2-core's accessibility bus
# starts on it), with home, XDG folders and preferences in DIR (no setting of the machine's or the user's is read
# or touched); speech on, through speech-dispatcher's dummy module into libao's null driver (no sound card).
# Braille is off (there is no display; Orca would otherwise try to reach one on every presentation, which makes
# it slow to answer keys); the keyboard layout is the laptop one (below). Orca's debug log, with
# "SPEECH OUTPUT: '...'" for what it says, goes to a terminal that script(1) writes out line by line into
# DIR/orca.log. Orca refuses to start while another Orca of the user runs, also one that has ended but is not yet
# reaped (pgrep counts it).
#   orca_session.sh start DIR DISPLAY   waits (30 s at most) for Orca's first words, prints NAME=value lines
#                                       for the programs Orca is to read; fails at once if Orca ends first
#   orca_session.sh stop DIR            ends Orca, its speech-dispatcher and the bus, by their process ids
set -u
dir=$2
gone() {  # PID [z]: PID has ended; one that is not yet reaped (a zombie) counts only with z
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -z "$state" ] || [ "${2:-}$state" = zZ ]
}
end() {  # PID NAME [z]: SIGTERM if PID runs NAME, SIGKILL after 3 s (an idle Orca sees its SIGTERM only at its
         # next event); waits (5 s at most) until it has ended, with z also while it is not yet reaped
  grep -qa "$2" "/proc/$1/cmdline" 2>/dev/null || return 0
  kill "$1"
  for _ in $(seq 30); do gone "$1" ${3:+z} && return 0; sleep 0.1; done
  kill -9 "$1"
  for _ in $(seq 50); do gone "$1" ${3:+z} && return 0; sleep 0.1; done
}
spoke() { grep -qa "SPEECH OUTPUT" "$dir/orca.log" 2>/dev/null; }
fail() {  # MESSAGE: says why, with the end of Orca's log (its own words when it refused to start), and stops
  { echo "orca_session: $1; the end of $dir/orca.log:"; tail -n 5 "$dir/orca.log" 2>/dev/null
    pgrep -a -u "$(id -u)" -x orca | sed 's/^/other Orca: /'; } >&2
  "$0" stop "$dir"; exit 1
}
case "$1" in
start)
  mkdir -p "$dir"/{home,config/speech-dispatcher,data,cache,prefs} && mkdir -m 700 "$dir/run" || exit 1
  printf 'AudioOutputMethod "libao"\nAddModule "dummy" "sd_dummy" ""\nDefaultModule "dummy"\n' \
    > "$dir/config/speech-dispatcher/speechd.conf"
  echo default_driver=null > "$dir/home/.libao"
  # Orca's laptop layout: Caps Lock is Orca's key, the title command Caps Lock + /. When Orca answers a key late,
  # Qt 6.4 hands it to the program too: Caps Lock and / do nothing in the tuner, where the desktop layout's keypad
  # Enter presses "Закрыть". A key pressed twice within 1.5 s is a double press (Orca's 0.5 s is short for a loaded
  # machine).
  printf '%s\n' 'import orca.settings as s' 's.keyboardLayout = s.GENERAL_KEYBOARD_LAYOUT_LAPTOP' \
    's.orcaModifierKeys = s.LAPTOP_MODIFIER_KEYS' 's.doubleClickTimeout = 1.5' > "$dir/prefs/orca-customizations.py"
  export DISPLAY=$3 HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data \
    XDG_CACHE_HOME=$dir/cache LANG=C.UTF-8  # Orca's own words in English
  unset AT_SPI_BUS_ADDRESS SPEECHD_ADDRESS SESSION_MANAGER LANGUAGE LC_ALL LC_MESSAGES
  dbus-daemon --session --fork --print-address=1 --print-pid=1 > "$dir/bus" || exit 1
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$dir/bus") && export DBUS_SESSION_BUS_ADDRESS
  script -qfc "exec orca --disable braille --debug-file /dev/tty --user-prefs '$dir/prefs'" "$dir/orca.log" \
    < /dev/null &> /dev/null &
  echo $! > "$dir/script.pid"
  for _ in $(seq 300); do spoke || gone $! z && break; sleep 0.1; done
  spoke || { gone $! z && fail "Orca ended without a word"; fail "Orca said nothing within 30 s"; }
  for v in DBUS_SESSION_BUS_ADDRESS HOME XDG_{RUNTIME_DIR,CONFIG_HOME,DATA_HOME,CACHE_HOME}; do echo "$v=${!v}"; done
  ;;
stop)
  s=$(cat "$dir/script.pid" 2>/dev/null)
  # Orca is script's child: script reaps it and then ends by itself, so Orca is waited for until it is reaped (a
  # zombie left to init may outlive this run and keep the next Orca from starting); script only if it stays.
  end "$(cat "/proc/$s/task/$s/children" 2>/dev/null | tr -d ' ')" orca
  end "$s" script z
  end "$(cat "$dir/run/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null)" speech-dispatcher z
  end "$(sed -n 2p "$dir/bus" 2>/dev/null)" dbus-daemon z  # the services the bus started end with it
  ;;
*) echo "usage: $0 start DIR DISPLAY | stop DIR" >&2 && exit 2 ;;
esac
