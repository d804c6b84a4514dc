#!/usr/bin/env bash
# Builds the module, the host library (portable codec set) and the host and
# module test suites for 32-bit big-endian PowerPC, with GoogleTest compiled
# from Debian's sources, checks what the module imports, and runs the suites
# under qemu-ppc. The pictra tool and its tests are left out.
#   scripts/test-ppc.sh [BUILD_DIR]     (default: build-ppc in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-ppc}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTRA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/powerpc-linux-gnu.cmake" \
  -DPICTRA_HOST_CODECS=portable -DPICTRA_CLI=OFF -DPICTRA_BENCH=OFF \
  -DPICTRA_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$dir" -j "$(nproc)"
bash "$root/scripts/check-module-imports.sh" "$dir/bin/pictra.vxm" powerpc-linux-gnu-nm \
  powerpc-linux-gnu-readelf
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
