#!/bin/sh
# CPU time (user + system) of whole conversion runs of a desktop game, music,
# effects and voices included, at both screen sizes: convert_game beside a
# peer convert_game (another build of it, e.g. of an earlier commit, with its
# gogo.dll.so beside it), in interleaved rounds in one session, each round
# taking the two in turn and starting with the other program than the round
# before. Prints every run, the medians with the ratio program/peer, and
# whether the last round's two data folders are byte for byte the same.
# The output folders are below $BENCH_WORK (a real disk: the runs flush their
# files), by default a new folder in /tmp.
# Usage: run_convert_peer_bench.sh <convert_game> <peer convert_game> <desktop game folder> [rounds (5)]
set -eu
tool="$1"
peer="$2"
game="$3"
rounds="${4:-5}"
work=$(mktemp -d "${BENCH_WORK:-/tmp}/convert-peer.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs one program (program|peer) at one size; appends its CPU seconds to
# $work/<which>.
run() {
  which="$1"
  size="$2"
  if [ "$which" = program ]; then exe="$tool"; else exe="$peer"; fi
  rm -rf "$work/$which.out"
  mkdir "$work/$which.out"
  env -u VELMI_MODULE_PATH /usr/bin/time -f "%U %S" -o "$work/time" \
    "$exe" --screen "$size" "$game" "$work/$which.out" >/dev/null 2>"$work/$which.log" ||
    { echo "$which failed at $size:"; tail -n 5 "$work/$which.log"; exit 1; }
  awk '{ printf "%.2f\n", $1 + $2 }' "$work/time" >>"$work/$which"
  echo "$size $which: $(tail -n 1 "$work/$which") s"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for size in 320x240 640x480; do
  : >"$work/program"
  : >"$work/peer"
  i=0
  while [ "$i" -lt "$rounds" ]; do
    if [ $((i % 2)) -eq 0 ]; then
      run program "$size"
      run peer "$size"
    else
      run peer "$size"
      run program "$size"
    fi
    i=$((i + 1))
  done
  p=$(median <"$work/program")
  q=$(median <"$work/peer")
  if diff -r "$work/program.out/data" "$work/peer.out/data" >/dev/null; then same=identical; else same=DIFFERENT; fi
  echo "$size median of $rounds: program ${p} s, peer ${q} s, program/peer $(echo "$p $q" | awk '{ printf "%.3f", $1 / $2 }'); data folders $same"
done
