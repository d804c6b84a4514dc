#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs the whole test suite; builds it again with Clang, AddressSanitizer,
# UndefinedBehaviorSanitizer and the fuzzers' coverage hooks and runs it
# there; sweeps the shared corpus with damaged copies and fuzzes every target
# briefly in that same build; then cross-builds the module, the host and
# their tests for 32-bit big-endian PowerPC (checking what the module
# imports) and for 64-bit big-endian s390x, and runs them under qemu.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/setup.sh"

echo "== build and test"
bash "$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

# One Clang build serves the sanitized suite, the sweep and the fuzzers.
echo "== build and test with Clang under ASan and UBSan"
CC=clang CXX=clang++ bash "$root/scripts/build.sh" "$root/build-fuzz" -DPICTRA_FUZZ=ON -DPICTRA_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build-fuzz" --output-on-failure -j "$jobs"

echo "== damage sweep of the corpus under ASan and UBSan (sampled)"
PICTRA_SWEEP_BUILD="$root/build-fuzz" bash "$root/scripts/sweep.sh"

# The suite above replayed the corpus through every target already; this
# run shows that each fuzzer starts and finds nothing quickly (long runs are
# scripts/fuzz.sh's own).
echo "== short fuzz run"
bash "$root/scripts/fuzz.sh" --no-corpus 4

echo "== PowerPC module, host and their tests under qemu-ppc"
bash "$root/scripts/test-ppc.sh" "$root/build-ppc"

echo "== s390x module, host (system codecs) and their tests under qemu-s390x"
bash "$root/scripts/test-s390x.sh" "$root/build-s390x"
