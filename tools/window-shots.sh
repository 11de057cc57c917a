#!/bin/sh
# Pictures of the program's windows under Xvfb, in a scratch home so no settings of yours
# are read or written:  tools/window-shots.sh [BUILD_DIR [OUT_DIR [WINDOW...]]]
# (default build/ and build/window-shots/). Builds the picture program first.
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath "${1:-$source_dir/build}")
out_dir=$(realpath -m "${2:-$build_dir/window-shots}")
[ $# -gt 2 ] && shift 2 || set --
cmake --build "$build_dir" --target vellumdk-windowshots >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/runtime" "$scratch/machine"
chmod 700 "$scratch/runtime"
HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
XDG_RUNTIME_DIR="$scratch/runtime" VELLUMDOCK_MACHINE_DIR="$scratch/machine" \
VELLUMDOCK_PROGRAM_DIR="$build_dir/lib/vellumdock" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/tools/vellumdk-windowshots" "$out_dir" "$@"
