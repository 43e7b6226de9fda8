#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build, test and run Tardivox.
# Idempotent: prints nothing and touches apt only when a package is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libpulse-dev pulseaudio pulseaudio-utils dbus
  pipewire pipewire-pulse wireplumber
  desktop-file-utils appstream librsvg2-bin
  xvfb xauth clang-format
  fonts-dejavu-core fonts-liberation
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
