#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, runs the
# whole test suite, runs it again built by Clang and under AddressSanitizer
# and UndefinedBehaviorSanitizer, fuzzes each reader entry point briefly,
# then cross-builds the module, the host and their tests for 32-bit
# big-endian PowerPC, checks what the module imports and runs the tests
# under qemu-ppc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/setup.sh"

echo "== build and test"
bash "$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== build and test with Clang"
CC=clang CXX=clang++ bash "$root/scripts/build.sh" "$root/build-clang" -DPICTRA_BENCH=OFF
ctest --test-dir "$root/build-clang" --output-on-failure -j "$jobs"

echo "== build and test under ASan and UBSan"
bash "$root/scripts/build.sh" "$root/build-sanitize" -DPICTRA_SANITIZE=ON -DPICTRA_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$jobs"

echo "== short fuzz run"
bash "$root/scripts/fuzz.sh" 15

echo "== PowerPC module, host and their tests under qemu-ppc"
bash "$root/scripts/test-ppc.sh" "$root/build-ppc"
