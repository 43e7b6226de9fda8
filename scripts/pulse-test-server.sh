#!/usr/bin/env bash
# A private PulseAudio server for the audio tests, never the user's:
#   pulse-test-server.sh start <dir> [<script.pa>]
#                                      start it (stopping a leftover one first) and wait until
#                                      it answers; exit 1 with its log when it does not. A
#                                      script given here is kept as <dir>/extra.pa and run at
#                                      this and every later start of the server in <dir>, so a
#                                      restarted server comes back with the same devices
#   pulse-test-server.sh stop <dir>    stop it (TERM, then KILL); always exits 0
#   pulse-test-server.sh kill <dir>    kill it abruptly, as a crash would
#   pulse-test-server.sh env <dir>     print the variables a client needs
#   pulse-test-server.sh stall <dir> <seconds>  stop it for that long (SIGSTOP, then SIGCONT)
# Everything lives in <dir>: the socket <dir>/native, the runtime and state files, the log
# <dir>/server.log and the pid file. No user configuration is read (-n, own HOME and config
# directory), nothing is spawned on demand, and it runs as root too (--system=no). Like a
# desktop's server it asks for real-time scheduling (granted to root or with an RLIMIT_RTPRIO
# allowance; otherwise it runs as an ordinary process).
# Devices: null sinks (each with a monitor source)
#   tardivox_alpha, tardivox_beta  s16le 2ch 44100, long descriptions sharing 45 characters
#   tardivox_u8, tardivox_s24, tardivox_s32  the same in u8, s24le, s32le
# The default sink is tardivox_alpha, the default source its monitor. The sinks never rewind:
# an idle null sink renders far ahead, and the rewind that a new stream causes would make its
# monitor record the same stretch twice.
set -u

# shellcheck source=test-server-common.sh
. "$(dirname "$0")/test-server-common.sh"

export XDG_RUNTIME_DIR=$dir
export PULSE_RUNTIME_PATH=$dir
export PULSE_STATE_PATH=$dir/state
export XDG_CONFIG_HOME=$dir/config
export HOME=$dir
export PULSE_SERVER=unix:$dir/native
unset DBUS_SESSION_BUS_ADDRESS PULSE_COOKIE PULSE_CLIENTCONFIG

# The pid in the pid file, when that process is still our pulseaudio (just after the start it
# may not have become pulseaudio yet: give it a second).
server_pid() {
  [ -f "$pidfile" ] || return 1
  local pid i
  pid=$(cat "$pidfile")
  [ -n "$pid" ] || return 1
  for ((i = 0; i < 10; i++)); do
    kill -0 "$pid" 2>/dev/null || return 1
    if [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = pulseaudio ]; then
      echo "$pid"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

stop_server() {
  local pid
  if pid=$(server_pid); then end_process "$pid"; fi
  rm -f "$pidfile"
}

kill_server() {
  local pid
  if pid=$(server_pid); then end_process "$pid" KILL; fi
}

stop_signal() {
  local pid
  pid=$(server_pid) && kill "-$1" "$pid"
}

sink() {  # name format description
  echo "module-null-sink sink_name=$1 format=$2 rate=44100 channels=2 channel_map=front-left,front-right norewinds=1 sink_properties='device.description=\"$3\"'"
}

case $cmd in
  start)
    stop_server
    mkdir -p "$dir/state" "$dir/config"
    rm -f "$dir/native"
    [ -z "$script" ] || cp "$script" "$dir/extra.pa" || exit 1
    extra=()
    [ -f "$dir/extra.pa" ] && extra=(-F "$dir/extra.pa")
    long="Tardivox test sink whose name is longer than 32 characters"
    pulseaudio -n --daemonize=no --system=no --use-pid-file=no \
      --exit-idle-time=-1 --realtime=yes --high-priority=yes --no-cpu-limit=yes \
      --log-target="file:$dir/server.log" --log-level=notice \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "$(sink tardivox_alpha s16le "$long: alpha")" \
      -L "$(sink tardivox_beta s16le "$long: beta")" \
      -L "$(sink tardivox_u8 u8 "Tardivox test sink u8")" \
      -L "$(sink tardivox_s24 s24le "Tardivox test sink s24")" \
      -L "$(sink tardivox_s32 s32le "Tardivox test sink s32")" \
      "${extra[@]}" </dev/null >>"$dir/server.out" 2>&1 &
    pid=$!
    echo $pid >"$pidfile"
    # Up to 30 s: a loaded CI machine running sanitizer builds can be slow to start it.
    for ((i = 0; i < 300; i++)); do
      if pactl info >/dev/null 2>&1; then
        pactl set-default-sink tardivox_alpha && pactl set-default-source tardivox_alpha.monitor
        exit $?
      fi
      kill -0 "$pid" 2>/dev/null || break  # it exited (the name check could run before exec)
      sleep 0.1
    done
    echo "pulse-test-server: the server in $dir did not come up" >&2
    cat "$dir/server.out" "$dir/server.log" 1>&2
    stop_server
    exit 1
    ;;
  *)
    other_command
    ;;
esac
