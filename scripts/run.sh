#!/usr/bin/env bash
# The main job: build, generate the sample desktop game, propose it to the
# converter through the registry store, convert it with the converter's
# dialog, and leave the handheld data folder where the player looks for it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default -j "$(nproc)"
out=$PWD/build/default
missing=()
[ -x "$out/tools/make_sample_game" ] || missing+=("the sample desktop game generator")
[ -x "$out/converter/convVelmi" ] || missing+=("the converter program")
if [ ${#missing[@]} -gt 0 ]; then
  echo "Built, but missing: ${missing[*]}."
  exit 0
fi

# The build generates the sample game (target sample_game); make sure it is there.
game=$out/sample/desktop
[ -f "$game/QR2.exe" ] || "$out/tools/make_sample_game" "$game"

# The converter proposes the folder that "DataDir" names (HKEY_CURRENT_USER
# Software\TORVAL\QR2).  Paths of the converter are code page 932 with '\'.
store=$out/sample/registry.txt
{
  printf '[HKEY_CURRENT_USER\\Software\\TORVAL\\QR2]\n'
  printf 'DataDir=sz:%s\\\n' "${game//\//\\}"
} | iconv -f UTF-8 -t CP932 >"$store"
export VELMI_REGISTRY=$store

# The converter writes "data" below its current folder; the player looks for
# "data" beside its program.
player_dir=$out/player
mkdir -p "$player_dir"
cd "$player_dir"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VELMI_HEADLESS:-}" != 1 ]; then
  echo "Opening the converter's dialog: press 開始(S), close it when the progress line has gone."
else
  echo "No display: the converter's dialog runs headless, presses Start and shows the progress."
fi
"$out/converter/convVelmi"

# The converter does not carry movies: the opening movie and its sound track
# go straight into the data folder, where the story's movie request looks.
if [ -d "$player_dir/data" ] && [ -d "$out/sample/movie" ]; then
  cp "$out/sample/movie/"* "$player_dir/data/"
fi

echo
echo "Handheld data folder: $player_dir/data"
ls -l "$player_dir/data" 2>/dev/null || echo "(no data folder was written)"
