#!/usr/bin/env bash
# The test job: every unit and end-to-end test once under AddressSanitizer
# and UndefinedBehaviorSanitizer, then each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
list=build/fuzz/fuzz-targets.txt
if [ -s "$list" ]; then
  while read -r bin seeds; do
    work=$(mktemp -d)
    [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
    echo "fuzz: $(basename "$bin") for ${fuzz_seconds}s"
    "$bin" -seed=1 -artifact_prefix="$work.crash-" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=0 "$work" >"$work.log" 2>&1 || { tail -n 60 "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
  done <"$list"
fi
echo "fuzz targets: all ran clean"
