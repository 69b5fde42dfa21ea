#!/bin/sh
# CPU time (user + system) and minor page faults of whole conversion runs of a
# desktop game, at both screen sizes, as the program ships beside the same
# program told to keep freed memory (glibc malloc tunables), alternating the
# two, in one session. Prints every run and the medians with their ratio.
# Usage: run_convert_bench.sh <convert_game> <desktop game folder> [runs (3)]
set -eu
tool="$1"
game="$2"
runs="${3:-3}"
tuned="glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=268435456"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the conversion once; appends "cpu-seconds minor-faults" to $1.
run() {
  rm -rf "$work/out"
  mkdir "$work/out"
  if [ "$2" = tuned ]; then
    GLIBC_TUNABLES="$tuned" /usr/bin/time -f "%U %S %R" -o "$work/time" \
      "$tool" --screen "$3" --no-sound "$game" "$work/out" >/dev/null 2>&1
  else
    /usr/bin/time -f "%U %S %R" -o "$work/time" "$tool" --screen "$3" --no-sound "$game" "$work/out" >/dev/null 2>&1
  fi
  awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$work/time" >>"$1"
  echo "$3 $2: $(tail -n 1 "$1")"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for size in 640x480 320x240; do
  : >"$work/shipped"
  : >"$work/tuned"
  i=0
  while [ "$i" -lt "$runs" ]; do
    run "$work/shipped" shipped "$size"
    run "$work/tuned" tuned "$size"
    i=$((i + 1))
  done
  s=$(cut -d' ' -f1 "$work/shipped" | median)
  t=$(cut -d' ' -f1 "$work/tuned" | median)
  sf=$(cut -d' ' -f2 "$work/shipped" | median)
  tf=$(cut -d' ' -f2 "$work/tuned" | median)
  echo "$size median: shipped ${s} s ${sf} faults, tuned ${t} s ${tf} faults, shipped/tuned $(echo "$s $t" | awk '{ printf "%.2f", $1 / $2 }')"
done
