#!/usr/bin/env bash
# Starts Ondrix. Without a display (a bare server or container) it runs under Xvfb.
set -euo pipefail
BUILD=${1:-build}
ARGS=()
if [ -x "$BUILD/ondrix-cellsim" ]; then ARGS+=(--simulate); fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD/ondrix" "${ARGS[@]}"
fi
exec "$BUILD/ondrix" "${ARGS[@]}"
