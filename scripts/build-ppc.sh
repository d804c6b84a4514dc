#!/usr/bin/env bash
# Builds pictra.vxm for 32-bit big-endian PowerPC and checks what it imports.
#   scripts/build-ppc.sh [BUILD_DIR]     (default: build-ppc in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-ppc}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTRA_WERROR=ON \
  -DPICTRA_MODULE_ONLY=ON -DCMAKE_TOOLCHAIN_FILE="$root/cmake/powerpc-linux-gnu.cmake" >/dev/null
cmake --build "$dir" --target pictra_module -j "$(nproc)"
module="$dir/bin/pictra.vxm"
file "$module" 2>/dev/null || true
bash "$root/scripts/check-module-imports.sh" "$module" powerpc-linux-gnu-nm powerpc-linux-gnu-readelf
