#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test of Vellumdock.
set -euo pipefail
cd "$(dirname "$0")"

packaging/install-deps.sh

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_BUILD_BENCH=OFF
cmake --build build-test -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure -j1
