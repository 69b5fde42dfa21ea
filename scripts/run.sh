#!/usr/bin/env bash
# The main job: build, generate the sample desktop game, propose it to the
# converter through the registry store, convert it with the converter's
# dialog (320x240, with sounds and voices) and once more at 640x480 (pictures
# and scripts) with convert_game, and play it: player_ce42 in a window when a
# display is there, else the scripted tour (tests/e2e/tour.txt) headless.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
# Only the programs, the overlays and modules, and the sample data: the tests
# and benchmarks are the test job's (the "main" preset builds in build/default).
cmake --preset main
cmake --build --preset main -j "$(nproc)"
out=$PWD/build/default
missing=()
[ -x "$out/tools/make_sample_game" ] || missing+=("the sample desktop game generator")
[ -x "$out/converter/convVelmi" ] || missing+=("the converter program")
[ -x "$out/tools/convert_game" ] || missing+=("the conversion driver")
[ -x "$out/player/player_ce42" ] || missing+=("the player")
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

# The dialog converts for the 320x240 screen ("grpack.mlz"); the 640x480
# configurations read "grpack_v.mlz", which convert_game writes beside it
# (the sounds and voices of the first run serve both).
"$out/tools/convert_game" --screen 640x480 --no-sound "$game" "$player_dir"

# The converter does not carry movies: the opening movie and its sound track
# go straight into the data folder, where the story's movie request looks.
if [ -d "$player_dir/data" ] && [ -d "$out/sample/movie" ]; then
  cp "$out/sample/movie/"* "$player_dir/data/"
fi

echo
echo "Handheld data folder: $player_dir/data"
ls -l "$player_dir/data" 2>/dev/null || echo "(no data folder was written)"
[ -f "$player_dir/data/grpack_v.mlz" ] || exit 1
unset VELMI_REGISTRY

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VELMI_HEADLESS:-}" != 1 ]; then
  echo
  echo "Starting player_ce42: arrows, Enter/Space (centre key, opens the menu), Z X C V B (keys A-E), Esc (key B),"
  echo "mouse (stylus).  Settings: $player_dir/velmi.cfg; saves and system.dat: $player_dir/data/save/"
  exec "$player_dir/player_ce42"
fi

# Headless: the tour on a copy of the data folder, the player copied beside
# it with settings that name it; screenshots are written in the tour folder.
tour=$out/tour
rm -rf "$tour"
mkdir -p "$tour/prog"
cp -r "$player_dir/data" "$tour/data"
cp "$player_dir/player_ce42" "$player_dir/"*.ovl.so "$tour/prog/"
printf '[GAME_INST_FOLDER]\r\nDATA01=..\\data\\\r\n' >"$tour/prog/velmi.cfg"
cd "$tour"
status=0
# On the fake clock the tour runs as fast as the machine allows.
VELMI_HEADLESS=1 VELMI_FAKE_CLOCK=100000 VELMI_DEVICE_SCRIPT=$src/tests/e2e/tour.txt \
  VELMI_DEVICE_REPORT=$tour/report.txt VELMI_WAVE_CAPTURE=$tour/sound.pcm "$tour/prog/player_ce42" || status=$?
# The sound output opens at the rate the settings choose (SAOUND_QUALITY in
# [MUSIC_CONFIG] of velmi.cfg: 0, the default, for 22,050 Hz, 1 for
# 44,100 Hz); the player writes back the rate it obtained.
rate="22,050"
grep -q 'SAOUND_QUALITY=1' "$tour/prog/velmi.cfg" 2>/dev/null && rate="44,100"
echo
echo "Tour of the sample game (player_ce42, headless), exit status $status:"
echo "  screenshots:   $(ls "$tour"/*.png 2>/dev/null | tr '\n' ' ')"
echo "  sound capture: $tour/sound.pcm (raw 16-bit stereo PCM at $rate Hz, the rate the settings chose)"
echo "  mode report:   $tour/report.txt"
echo "  settings:      $tour/prog/velmi.cfg; saves and system.dat: $tour/data/save/"
exit $status
