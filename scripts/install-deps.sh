#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Ondrix needs.
# Quiet and quick when everything is already there; runs apt-get update once otherwise.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-httpserver-dev qt6-websockets-dev libgl-dev
  libqcustomplot-dev libspdlog-dev libfmt-dev libsimpleini-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
  xvfb xauth imagemagick x11-utils fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
