#!/bin/bash
# What `pictra info` costs on the files of hostile_icons.py: peak memory
# (maximum resident set, from /usr/bin/time -v) and processor time (user +
# system) per file, as a Markdown table.
#
#     bash bench/budget_table.sh [BUILD] [CPU_SECONDS] [MEMORY_MIB]
#
# BUILD defaults to ./build. Each run is stopped after CPU_SECONDS of
# processor time (default 120) and refused address space past MEMORY_MIB
# (default 8192), so that a file without a budget cannot take the machine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cpu=${2:-120}
memory=${3:-8192}
tool=$build/bin/pictra
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

/usr/bin/python3 "$here/bench/hostile_icons.py" "$folder" >/dev/null
echo "| file | bytes | peak memory | processor time | pictures | exit |"
echo "|---|---|---|---|---|---|"
for file in "$folder"/*; do
    set +e
    (ulimit -t "$cpu" -v $((memory * 1024)); /usr/bin/time -v -o "$folder/time.txt" \
        "$tool" info --json "$file" >"$folder/out.json" 2>"$folder/err.txt")
    status=$?
    set -e
    rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$folder/time.txt")
    seconds=$(awk -F': ' '/User time/ {u = $2} /System time/ {s = $2} END {printf "%.2f", u + s}' "$folder/time.txt")
    pictures=$(/usr/bin/python3 -c 'import json, sys
try:
    print(len(json.load(open(sys.argv[1]))["images"]))
except Exception:
    print("-")' "$folder/out.json")
    echo "| $(basename "$file") | $(stat -c %s "$file") | ${rss:-?} MiB | ${seconds:-?} s | $pictures | $status |"
done
