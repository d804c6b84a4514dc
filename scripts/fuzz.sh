#!/usr/bin/env bash
# Builds the fuzz targets with Clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz and runs each for SECONDS
# (default 20), starting from its seeds and, when ../shared/corpus exists,
# the real icons there (for fuzz_decode_image, the PNG and JPEG 2000 images
# found inside them). A crash fails the script; libFuzzer's log names the
# file it left under build-fuzz/fuzz-runs/TARGET/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
dir=$root/build-fuzz
corpus=$root/../shared/corpus
targets=(fuzz_load_icon fuzz_decode_image)

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPICTRA_WERROR=ON -DPICTRA_FUZZ=ON -DPICTRA_BENCH=OFF -DPICTRA_CLI=OFF >/dev/null
cmake --build "$dir" --target "${targets[@]}" -j "$(nproc)"

# Every embedded image from its signature to the end of its file: the
# decoders stop at their own end markers.
carve_images() {
  local out=$1 file offset n=0
  mkdir -p "$out"
  while IFS= read -r -d '' file; do
    # grep sees lines, so each pattern stops short of a line feed; the JP2
    # signature box starts four bytes before its "jP".
    while IFS=: read -r offset match; do
      [[ $match == jP* ]] && offset=$((offset - 4))
      dd if="$file" of="$out/$((n++))" bs=64K iflag=skip_bytes,count_bytes skip="$offset" \
        count=262144 status=none
    done < <(LC_ALL=C grep -obUaP '\x89PNG\r|jP  \r|\xff\x4f\xff\x51' "$file" || true)
  done < <(find "$corpus" -type f ! -name '*.md' ! -name '*.tsv' -print0)
}

for target in "${targets[@]}"; do
  run=$dir/fuzz-runs/$target
  rm -rf "$run"
  mkdir -p "$run/corpus"
  inputs=("$root/fuzz/seeds/$target")
  [ -d "$root/fuzz/crashers/$target" ] && inputs+=("$root/fuzz/crashers/$target")
  if [ -d "$corpus" ]; then
    if [ "$target" = fuzz_decode_image ]; then
      carve_images "$run/images"
      inputs+=("$run/images")
    else
      inputs+=("$corpus")
    fi
  fi
  echo "== fuzz $target for ${seconds}s"
  # New inputs go to the first folder only: the seeds stay as they are.
  (cd "$run" && "$dir/bin/$target" -max_total_time="$seconds" -max_len=262144 \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$run/" \
    "$run/corpus" "${inputs[@]}" 2>"$run/log") || {
    tail -n 60 "$run/log"
    echo "fuzz: $target failed; the input is under $run/ (log: $run/log)" >&2
    exit 1
  }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$run/log"
done
