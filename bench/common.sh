# Sourced by the bench scripts once `root` is set and `pids` declared: the release build of the
# program and its probe, the median of numbers on standard input, and a private Xvfb (its pid in pids).
cmake --preset release >/dev/null
cmake --build --preset release --target zemtar_tuner zt_test_audio probe_program >/dev/null
bin="$root/build/release"
audio="$bin/tests/support/zt_test_audio"
probe="$bin/bench/probe_program"
pulse="$root/tests/support/pulse_server.sh"
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "none"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
start_xvfb() {  # sets DISPLAY to the new display
  local xvfb_pid display_number
  exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
  read -r _ xvfb_pid <&3
  pids+=("$xvfb_pid")
  read -r display_number <&3
  exec 3<&-
  export DISPLAY=":$display_number" QT_QPA_PLATFORM=xcb
}
