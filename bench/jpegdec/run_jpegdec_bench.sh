#!/bin/sh
# Runs the decoder benchmark once per libjpeg-turbo mode, each in its own process.
# Usage: run_jpegdec_bench.sh <path to jpegdec_bench> [benchmark options]
bench="$1"
shift
JSIMD_FORCENONE=1 "$bench" "$@"
JSIMD_FORCESSE2=1 "$bench" "$@"
"$bench" "$@"
