#!/bin/sh
# Start-up with a desktop's CJK font set: the CPU time of a process's first
# EnumFontFamiliesW (font_enum_bench) and of player_ce42's start-up to the
# title (headless, on the fake clock, from a fresh velmi.cfg to the title's
# wait for a key, then quit), with the installed fonts alone and with
# fonts-noto-cjk made visible beside them through FONTCONFIG_FILE, in
# interleaved rounds.  Prints every run, the medians and their ratios.
# fonts-noto-cjk is not installed: the package is fetched (apt-get download)
# and unpacked (dpkg -x) into the given folder unless it is there already,
# and its fontconfig cache is built (fc-cache) before the first round.
# Usage: run_font_start_bench.sh <build folder> [noto folder] [rounds (5)]
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
noto="${2:-$build/bench/noto-cjk}"
rounds="${3:-5}"
enum="$build/bench/text/font_enum_bench"
player="$build/player/player_ce42"
for f in "$enum" "$player" "$build/tools/convert_game"; do
  [ -x "$f" ] || { echo "missing $f (cmake --build --preset default)" >&2; exit 2; }
done

# fonts-noto-cjk, unpacked only.
fonts="$noto/usr/share/fonts/opentype/noto"
if [ ! -d "$fonts" ]; then
  mkdir -p "$noto"
  (cd "$work" && apt-get download fonts-noto-cjk >/dev/null)
  dpkg -x "$work"/fonts-noto-cjk_*.deb "$noto"
  rm -f "$work"/fonts-noto-cjk_*.deb
fi
echo "fonts-noto-cjk: $(ls "$fonts" | wc -l) files in $fonts"

# The two font configurations: the system's, and the system's with Noto.
# Noto's cache goes to a folder of its own, named first so fc-cache writes there.
cat >"$work/plain.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><include ignore_missing="no">/etc/fonts/fonts.conf</include></fontconfig>
CONF
cat >"$work/noto.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <cachedir>$noto/cache</cachedir>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <dir>$fonts</dir>
</fontconfig>
CONF
mkdir -p "$noto/cache"
FONTCONFIG_FILE="$work/noto.conf" fc-cache "$fonts"
FONTCONFIG_FILE="$work/plain.conf" fc-cache >/dev/null 2>&1 || true

# The sample game converted for the 640x480 player, once.
mkdir -p "$work/game/prog"
VELMI_MODULE_PATH="$build/bin" "$build/tools/convert_game" --screen 640x480 --no-sound \
  "$build/sample/desktop" "$work/game" >/dev/null 2>&1
cp "$player" "$work/game/prog/"
for m in "$(dirname "$player")"/*.ovl.so; do [ -e "$m" ] && cp "$m" "$work/game/prog/"; done
printf '1 wait 0 11 3000\n1 quit\n' >"$work/title.txt"

# One enumeration in a fresh process; appends its CPU milliseconds to enum-$1.
enumerate() {
  out=$(FONTCONFIG_FILE="$work/$1.conf" "$enum")
  echo "${out%% *}" >>"$work/enum-$1"
  echo "enumerate $1: ${out%% *} ms, ${out##* } families"
}

# One start-up to the title; appends its CPU milliseconds to start-$1.
startup() {
  printf '[GAME_INST_FOLDER]\r\nDATA01=..\\data\\\r\n' >"$work/game/prog/velmi.cfg"
  rm -rf "$work/game/data/save"
  FONTCONFIG_FILE="$work/$1.conf" VELMI_HEADLESS=1 VELMI_FAKE_CLOCK=100000 VELMI_LOCK_DIR="$work" \
    VELMI_DEVICE_SCRIPT="$work/title.txt" VELMI_DEVICE_REPORT="$work/report.txt" \
    /usr/bin/time -f "%U %S" -o "$work/time" "$work/game/prog/player_ce42" >/dev/null 2>&1
  grep -q " mode 0 11" "$work/report.txt" || { echo "the player did not reach the title" >&2; exit 1; }
  ms=$(awk '{ printf "%.0f", ($1 + $2) * 1000 }' "$work/time")
  echo "$ms" >>"$work/start-$1"
  echo "start-up $1: $ms ms"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# A first run of each, not counted, so that every counted one finds the
# files read.
for c in plain noto; do
  enumerate $c >/dev/null
  startup $c >/dev/null
  rm "$work/enum-$c" "$work/start-$c"
done
i=0
while [ "$i" -lt "$rounds" ]; do
  enumerate plain
  enumerate noto
  startup plain
  startup noto
  i=$((i + 1))
done
ep=$(median <"$work/enum-plain")
en=$(median <"$work/enum-noto")
sp=$(median <"$work/start-plain")
sn=$(median <"$work/start-noto")
echo "first EnumFontFamiliesW median: installed fonts ${ep} ms, with Noto ${en} ms, with/without $(echo "$en $ep" | awk '{ printf "%.2f", $1 / $2 }')"
echo "start-up to the title median: installed fonts ${sp} ms, with Noto ${sn} ms, with/without $(echo "$sn $sp" | awk '{ printf "%.2f", $1 / $2 }')"
