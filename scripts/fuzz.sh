#!/usr/bin/env bash
# Builds fuzz targets with Clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz and runs each for SECONDS
# (default 20), one after the other. TARGETs are names of fuzz/fuzz_*.cpp
# without the extension (default: every one). Each starts from
# fuzz/seeds/TARGET, fuzz/crashers/TARGET and the ../shared/corpus folders its
# "// fuzz-corpus:" line names ("images": the PNG and JPEG 2000 images found
# inside the corpus files), with fuzz/dicts/TARGET.dict when there is one.
# A finding fails the script; libFuzzer's log names the input it left under
# build-fuzz/fuzz-runs/TARGET/. The last line per target gives executions,
# executions per second, coverage (edges) and features. --no-corpus leaves
# out the ../shared/corpus folders (the test command's short run: its test
# suites have just replayed them through the same targets).
#   scripts/fuzz.sh [--no-corpus] [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=20
use_corpus=1
if [ "${1:-}" = --no-corpus ]; then use_corpus=0; shift; fi
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
dir=$root/build-fuzz
corpus=$root/../shared/corpus
targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
for target in "${targets[@]}"; do
  [ -f "$root/fuzz/$target.cpp" ] || { echo "fuzz: no target $target (fuzz/$target.cpp)" >&2; exit 2; }
done

# A build-fuzz that scripts/test.sh configured (tool and tests included) is
# used as it is.
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPICTRA_WERROR=ON -DPICTRA_FUZZ=ON -DPICTRA_BENCH=OFF -DPICTRA_CLI=OFF >/dev/null
fi
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
  inputs=()
  for folder in "$root/fuzz/seeds/$target" "$root/fuzz/crashers/$target"; do
    [ -d "$folder" ] && inputs+=("$folder")
  done
  if ((use_corpus)) && [ -d "$corpus" ]; then
    for folder in $(sed -n 's|^// fuzz-corpus:||p' "$root/fuzz/$target.cpp"); do
      if [ "$folder" = images ]; then
        carve_images "$run/images"
        inputs+=("$run/images")
      else
        inputs+=("$corpus/$folder")
      fi
    done
  fi
  options=()
  [ -f "$root/fuzz/dicts/$target.dict" ] && options+=(-dict="$root/fuzz/dicts/$target.dict")
  echo "== fuzz $target for ${seconds}s"
  # New inputs go to the first folder only: the seeds stay as they are.
  (cd "$run" && "$dir/bin/$target" -max_total_time="$seconds" -max_len=262144 \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$run/" \
    "${options[@]}" "$run/corpus" "${inputs[@]}" 2>"$run/log") || {
    tail -n 60 "$run/log"
    echo "fuzz: $target failed; the input is under $run/ (log: $run/log)" >&2
    exit 1
  }
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log")
  coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$run/log" | tail -n 1)
  echo "fuzz: $target: $units runs, $speed/s, $coverage"
done
