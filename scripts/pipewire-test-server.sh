#!/usr/bin/env bash
# A private PipeWire server for the audio tests, never the user's, spoken to through its
# PulseAudio protocol server (pipewire-pulse):
#   pipewire-test-server.sh start <dir> [<script.pa>]
#                                      start it (stopping a leftover one first) and wait until
#                                      it answers; exit 1 with its logs when it does not. A
#                                      script given here holds pactl commands (one
#                                      "load-module …" line each, # comments) run after the
#                                      test sinks are made, at this and every later start
#   pipewire-test-server.sh stop <dir>    stop it (TERM, then KILL); always exits 0
#   pipewire-test-server.sh kill <dir>    kill it abruptly, as a crash would
#   pipewire-test-server.sh env <dir>     print the variables a client needs
#   pipewire-test-server.sh stall <dir> <seconds>  stop all of it for that long (SIGSTOP, then
#                                      SIGCONT to its process group)
# pipewire, wireplumber and pipewire-pulse run under their own session bus (dbus-run-session)
# in one process group; everything lives in <dir>: the runtime directory (XDG_RUNTIME_DIR), the
# configuration and state, the PulseAudio socket <dir>/native, the logs and the pid file. No
# hardware is touched: the session manager's ALSA, Bluetooth, camera and video monitors are
# off, so the graph holds only the sinks made here.
# The graph clock is forced to 44100 Hz (a PipeWire graph runs at one rate, 48000 Hz unless
# told otherwise), so that streams at 44100 Hz pass unresampled; streams at other rates are
# resampled by the graph. Its quantum (the frames of one graph cycle) is fixed at 256: a graph
# lowers its quantum when a stream asking for less latency joins, and the streams running
# then lose a few hundred milliseconds at that moment, which the tests' exact comparisons
# would count against the stream that joined.
# Devices, made through pipewire-pulse like the PulseAudio fixture's (pulse-test-server.sh):
# null sinks, each with a monitor source,
#   tardivox_alpha, tardivox_beta  s16le 2ch 44100, long descriptions sharing 45 characters
#   tardivox_u8, tardivox_s24, tardivox_s32  the same in u8, s24le, s32le
# The default sink is tardivox_alpha, the default source its monitor.
set -u

# shellcheck source=test-server-common.sh
. "$(dirname "$0")/test-server-common.sh"

export XDG_RUNTIME_DIR=$dir
export XDG_CONFIG_HOME=$dir/config
export XDG_STATE_HOME=$dir/state
export XDG_DATA_HOME=$dir/data
export HOME=$dir
export PULSE_SERVER=unix:$dir/native
unset PULSE_COOKIE PULSE_CLIENTCONFIG PIPEWIRE_REMOTE PIPEWIRE_CONFIG_DIR PIPEWIRE_RUNTIME_DIR
unset DBUS_SESSION_BUS_ADDRESS

# The process group of the server, when its leader is still running.
server_pid() {
  [ -f "$pidfile" ] || return 1
  local pid
  pid=$(cat "$pidfile")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  echo "$pid"
}

stop_server() {
  local pid
  if pid=$(server_pid); then end_process "-$pid"; fi
  rm -f "$pidfile"
}

kill_server() {
  local pid
  if pid=$(server_pid); then end_process "-$pid" KILL; fi
}

stop_signal() {
  local pid
  pid=$(server_pid) && kill "-$1" -- "-$pid"
}

write_config() {
  mkdir -p "$dir/config/pipewire/pipewire.conf.d" "$dir/config/pipewire/pipewire-pulse.conf.d" \
    "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d" \
    "$dir/state" "$dir/data"
  cat >"$dir/config/pipewire/pipewire.conf.d/50-tardivox-test.conf" <<'EOF'
# One graph rate, what the audio tests play and record at, and one quantum: 256 frames,
# below what any test stream asks for, so that no stream joining changes it.
context.properties = {
    default.clock.rate          = 44100
    default.clock.allowed-rates = [ 44100 ]
    default.clock.quantum       = 256
    default.clock.min-quantum   = 256
    default.clock.max-quantum   = 256
}
EOF
  cat >"$dir/config/pipewire/pipewire-pulse.conf.d/50-tardivox-test.conf" <<EOF
# The socket where the PulseAudio fixture has it.
pulse.properties = {
    server.address = [ "unix:$dir/native" ]
}
EOF
  local off
  for off in alsa_monitor libcamera_monitor v4l2_monitor; do
    echo "$off.enabled = false"
  done >"$dir/config/wireplumber/main.lua.d/60-tardivox-test.lua"
  echo "bluez_monitor.enabled = false" >"$dir/config/wireplumber/bluetooth.lua.d/60-tardivox-test.lua"
}

sink() {  # name format description
  pactl load-module module-null-sink sink_name="$1" format="$2" rate=44100 channels=2 \
    channel_map=front-left,front-right "sink_properties='device.description=\"$3\"'" >/dev/null
}

make_devices() {
  local long="Tardivox test sink whose name is longer than 32 characters"
  sink tardivox_alpha s16le "$long: alpha" && sink tardivox_beta s16le "$long: beta" &&
    sink tardivox_u8 u8 "Tardivox test sink u8" && sink tardivox_s24 s24le "Tardivox test sink s24" &&
    sink tardivox_s32 s32le "Tardivox test sink s32" || return 1
  if [ -f "$dir/extra.pa" ]; then
    local line
    while IFS= read -r line; do
      case $line in '' | '#'*) continue ;; esac
      eval "pactl $line" >/dev/null || return 1
    done <"$dir/extra.pa"
  fi
}

# Whether the defaults are set and the sinks made all visible. The defaults live in metadata
# that the session manager creates once it runs, which may be after pipewire-pulse answers.
devices_ready() {
  pactl set-default-sink tardivox_alpha 2>/dev/null &&
    pactl set-default-source tardivox_alpha.monitor 2>/dev/null || return 1
  [ "$(pactl get-default-sink 2>/dev/null)" = tardivox_alpha ] || return 1
  [ "$(pactl list short sinks 2>/dev/null | grep -c tardivox_)" -ge 5 ]
}

case $cmd in
  start)
    stop_server
    rm -f "$dir/native" "$dir/pipewire-0" "$dir"/*.log
    [ -z "$script" ] || cp "$script" "$dir/extra.pa" || exit 1
    write_config
    # One process group (setsid), so stop reaches all of them; the session bus goes with it.
    # pipewire-pulse moves every byte between its clients and the graph on its main thread:
    # like the PulseAudio fixture's server, that thread asks for real-time scheduling (granted
    # to root or with an RLIMIT_RTPRIO allowance; chrt fails otherwise, and it runs as usual),
    # so that other real-time work on a shared machine cannot starve it.
    # The session manager and pipewire-pulse connect to pipewire once its socket is there.
    setsid dbus-run-session -- bash -c '
      pipewire >>"$1/pipewire.log" 2>&1 &
      for ((i = 0; i < 300; i++)); do [ -S "$1/pipewire-0" ] && break; sleep 0.1; done
      wireplumber >>"$1/wireplumber.log" 2>&1 &
      { chrt -r 5 true 2>/dev/null && exec chrt -r 5 pipewire-pulse || exec pipewire-pulse; } \
        >>"$1/pipewire-pulse.log" 2>&1 &
      wait' bash "$dir" </dev/null >>"$dir/server.out" 2>&1 &
    pid=$!
    echo $pid >"$pidfile"
    # Up to 30 s: a loaded CI machine running sanitizer builds can be slow to start it.
    for ((i = 0; i < 300; i++)); do
      if pactl info >/dev/null 2>&1; then
        if make_devices; then
          for ((j = 0; j < 200; j++)); do
            devices_ready && exit 0
            sleep 0.1
          done
        fi
        break
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "pipewire-test-server: the server in $dir did not come up with its devices" >&2
    cat "$dir/server.out" "$dir"/pipewire*.log "$dir/wireplumber.log" 1>&2 2>/dev/null
    stop_server
    exit 1
    ;;
  *)
    other_command
    ;;
esac
