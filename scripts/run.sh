#!/usr/bin/env bash
# The main job: build, generate the sample desktop game, convert it into the
# handheld data folder, then show what the player does with it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default -j "$(nproc)"
out=build/default
missing=()
[ -x "$out/tools/make_sample_game" ] || missing+=("the sample desktop game generator")
[ -x "$out/converter/convVelmi" ] || missing+=("the converter program")
if [ ${#missing[@]} -gt 0 ]; then
  echo "Built. Not there yet: ${missing[*]}."
  exit 0
fi
