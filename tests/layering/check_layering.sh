#!/usr/bin/env bash
# Layering rules of the source tree, checked by grep:
#  - no player/ file includes a converter/ path;
#  - only platform/ includes SDL, GTK, FreeType, fontconfig, iconv or POSIX
#    headers (the programs' code: common, formats, jpeg, player, converter,
#    tools);
#  - little-endian field access, RGB565 packing and the LZSS constants live
#    in formats/ only (JPEG's big-endian fields are not such code).
# Prints every offending line; fails when there is one.
set -uo pipefail
root=${1:?usage: check_layering.sh <source folder>}
cd "$root" || exit 2
status=0

report() {  # <rule> <grep output>
  if [ -n "$2" ]; then
    printf '%s:\n%s\n' "$1" "$2"
    status=1
  fi
}

sources() {  # <folder>... : C and C++ files under them
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null
}

search() {  # <extended regex> <file>...
  local pattern=$1
  shift
  [ $# -gt 0 ] && grep -nHE -- "$pattern" "$@"
}

mapfile -t player < <(sources player)
report "player/ includes a converter/ path" \
  "$(search '^[[:space:]]*#[[:space:]]*include[[:space:]]*"converter/' "${player[@]}")"

mapfile -t programs < <(sources common formats jpeg player converter tools)
system='SDL|gtk/|gdk/|glib|ft2build|freetype|fontconfig|iconv|unistd|dirent|pthread|sys/|dlfcn|fcntl|sched|semaphore'
report "a system header outside platform/" \
  "$(search "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($system)" "${programs[@]}")"

mapfile -t everything < <(sources common converter platform player tools tests bench | grep -vE '^tests/(jpeg|jpegdec)/')
# x[i] | x[i + 1] << 8, x[3] << 24, and the byte loops v >> (8 * i).
le='\]\)? *\| *\(?[A-Za-z_:<>0-9 ]*\(?[A-Za-z_.]+\[[^]]*1\]\)? *<< *8\b|\[[^]]*3\]\)? *<< *24\b|[<>]{2} *\(8 *\* *[A-Za-z_]+\)'
report "little-endian field access outside formats/" "$(search "$le" "${everything[@]}")"
rgb='>> *3\)? *<< *11\b|0xF8\) *<< *8\b|0xFC\) *<< *3\b|>> *2\) *<< *5\b'
report "RGB565 packing outside formats/" "$(search "$rgb" "${everything[@]}")"
lzss='\b2031\b|\b0x7[Ee][Ff]\b|LZSS_[A-Z_]+ *= *[0-9]'
report "LZSS constants outside formats/" "$(search "$lzss" "${everything[@]}")"

exit $status
