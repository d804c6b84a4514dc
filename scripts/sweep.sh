#!/usr/bin/env bash
# The damage sweep: builds pictra_sweep and the module with AddressSanitizer
# and UndefinedBehaviorSanitizer (in build-sanitize, or PICTRA_SWEEP_BUILD)
# and runs it over the files and folders named, by default the shared corpus
# and examples/. Without --full each file gets a sample of every kind of
# damage (see sweep/sweep.cpp); --full does all of it. --write-case DIR
# saves the damaged input of each failure there. One line per file, then
# "N passed, N failed"; the exit status is 1 when any file failed.
#   scripts/sweep.sh [--full] [--write-case DIR] [FILE|DIR]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${PICTRA_SWEEP_BUILD:-$root/build-sanitize}
options=()
inputs=()
while (($#)); do
  case $1 in
    --full) options+=(--full) ;;
    --write-case) options+=(--write-case "$(realpath -m "${2:?--write-case needs a folder}")"); shift ;;
    *) inputs+=("$1") ;;
  esac
  shift
done
if ((${#inputs[@]} == 0)); then
  [ -d "$root/../shared/corpus" ] && inputs+=("$root/../shared/corpus")
  inputs+=("$root/examples")
fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTRA_WERROR=ON \
    -DPICTRA_SANITIZE=ON -DPICTRA_BENCH=OFF >/dev/null
fi
cmake --build "$dir" --target pictra_sweep -j "$(nproc)"
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  "$dir/bin/pictra_sweep" --jobs "$(nproc)" "${options[@]}" "${inputs[@]}"
