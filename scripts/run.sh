#!/usr/bin/env bash
# Builds Tardivox (release) and starts it.
# - Without a display it says so and shows how to run it under Xvfb.
# - When no sound server answers it starts a private pulseaudio whose input is a test tone
#   (a sine source) and whose output is a null sink, and stops it when the program exits.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/tardivox-ccache}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target tardivox -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "tardivox needs a display (none is set: DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  echo "Run it under a virtual X server instead:  xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi

private_dir=""
app=""
cleanup() {
  if [ -n "$app" ]; then
    kill -TERM "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  fi
  if [ -n "$private_dir" ]; then
    if [ -f "$private_dir/pid" ]; then
      kill -TERM "$(cat "$private_dir/pid")" 2>/dev/null || true
    fi
    rm -rf "$private_dir"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if ! pactl info >/dev/null 2>&1; then
  private_dir=$(mktemp -d /tmp/tardivox-pulse.XXXXXX)
  echo "No sound server answers: starting a private pulseaudio in $private_dir"
  echo "  input: a 440 Hz test tone; output: a null sink (nothing is heard)."
  XDG_RUNTIME_DIR=$private_dir HOME=$private_dir \
    pulseaudio -n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 \
    --realtime=no --high-priority=no \
    -L "module-native-protocol-unix socket=$private_dir/native auth-anonymous=1" \
    -L "module-sine-source source_name=tardivox_tone rate=44100 frequency=440" \
    -L "module-null-sink sink_name=tardivox_out rate=44100 sink_properties=device.description=Sortie_de_test" \
    </dev/null >"$private_dir/server.log" 2>&1 &
  echo $! >"$private_dir/pid"
  export PULSE_SERVER=unix:$private_dir/native
  for ((i = 0; i < 100; i++)); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { echo "the private sound server did not start:" >&2; cat "$private_dir/server.log" >&2; exit 1; }
  pactl set-default-source tardivox_tone >/dev/null
  pactl set-default-sink tardivox_out >/dev/null
fi

# In the background so that a signal to this script still stops the program and the server.
build/release/src/app/tardivox "$@" &
app=$!
status=0
wait "$app" || status=$?
app=""
exit "$status"
