#!/usr/bin/env bash
# Builds the module, the host library with its system codec set (Debian's
# s390x libspng, OpenJPEG and libdeflate from a private sysroot) and the
# host, module, byte-identical output and fuzz replay suites for 64-bit
# big-endian s390x, with GoogleTest compiled from Debian's sources, and
# runs them under qemu-s390x. The pictra tool and its tests are left out
# (they start the tool as a child process).
#   scripts/test-s390x.sh [BUILD_DIR]     (default: build-s390x in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-s390x}
sysroot=$dir/sysroot
bash "$root/scripts/s390x-sysroot.sh" "$sysroot"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTRA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/s390x-linux-gnu.cmake" -DPICTRA_S390X_SYSROOT="$sysroot" \
  -DPICTRA_HOST_CODECS=system -DPICTRA_CLI=OFF -DPICTRA_BENCH=OFF \
  -DPICTRA_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$dir" -j "$(nproc)"
# The corpus replays through the fuzz targets take minutes each under the
# emulator; the format suites load and save the corpus there already.
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" -E '^replay_fuzz_.*_corpus$'
