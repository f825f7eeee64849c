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
  chromium
  prometheus
)
# Node.js and npm for the browser test of the web monitor's page (tests/web), unless a Node.js
# with npm is there already (a distribution's npm package conflicts with some Node.js packages).
if ! command -v npm >/dev/null 2>&1; then
  PACKAGES+=(nodejs npm)
fi

# The browser test's own packages (playwright-core), as its lock file names them.
install_web_test_packages() {
  local web
  web="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/web"
  if [ -f "$web/package-lock.json" ] && [ ! -d "$web/node_modules/playwright-core" ]; then
    (cd "$web" && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  install_web_test_packages
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
install_web_test_packages
