#!/usr/bin/env bash
# Sets up Vellumdock on a fresh Debian 12 machine and starts it scanning:
# installs the packages it needs, builds, installs, runs the set-up (which installs the
# "Adobe PDF" printer and registers the components), then runs `vellumdk m`.
#   PREFIX   where to install (default /usr/local as root, else ~/.local)
set -euo pipefail
cd "$(dirname "$0")"

packaging/install-deps.sh

if [ "$(id -u)" -eq 0 ]; then
  prefix=${PREFIX:-/usr/local}
else
  prefix=${PREFIX:-$HOME/.local}
  # Machine-wide state needs an administrator; a per-user install keeps its own.
  export VELLUMDOCK_MACHINE_DIR=${VELLUMDOCK_MACHINE_DIR:-$HOME/.local/state/vellumdock-machine}
fi

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVD_BUILD_TESTS=OFF -DVD_BUILD_BENCH=OFF
cmake --build build-release -j"$(nproc)"
cmake --install build-release --prefix "$prefix"

"$prefix/bin/vellumdk-setup"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
echo "Vellumdock is scanning ~/Vellumdock (change the folders in the window, or in"
echo "${XDG_CONFIG_HOME:-$HOME/.config}/Vellumdock/Vellumdock.conf). Stop it with Ctrl+C."
exec "$prefix/bin/vellumdk" m
