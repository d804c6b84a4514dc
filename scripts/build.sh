#!/usr/bin/env bash
# Configures and builds one flavour of the project.
#   scripts/build.sh [BUILD_DIR] [extra CMake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTRA_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
