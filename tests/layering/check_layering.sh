#!/usr/bin/env bash
# Layering rules of the source tree, checked by grep:
#  - no player/ file includes a converter/ path;
#  - only platform/ includes SDL, GTK, FreeType, fontconfig, iconv or POSIX
#    headers (the programs' code: common, formats, jpeg, player, converter,
#    tools);
#  - little-endian field access, RGB565 packing and the LZSS constants live
#    in formats/ only (JPEG's big-endian fields are not such code);
#  - formats/ is a leaf: it includes only formats/ and the standard library
#    (no <windows.h>, nothing of platform/ or common/), so every library,
#    the platform's too, can use it;
#  - the player's floors, each including only its own folder and the floors
#    below it (besides common/, formats/ and the platform's headers):
#      core/      the pure services: pictures, sprites, blits, text, the
#                 pack reader, the decoders, the settings store, the back
#                 buffer and the input records.  Includes core/ only.
#      media/     sound mixer, sound sources, stream reader, movie player and
#                 transitions.  Includes core/ and media/.
#      menu/      the pop-up menu service and its option handlers.  Includes
#                 core/ and menu/.  The media and menu services stand side by
#                 side: neither includes the other.
#      scenario/  the story engine.  Does not include screens/.
#      screens/   the system screens.
#      app/       the application shell, over all of them.
#    scenario/ and screens/ define members of the application object
#    (app/game_app.h) and call the shell, so they include app/; nothing
#    below them includes app/, scenario/ or screens/.
#    Beside the rule, not an include: CScreen (core/screen.h) names
#    CMoviePlayer and CSoundMixer by declaration only; its movie members are
#    defined with the movie player in media/movie_player.cpp.
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

include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
found=':[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*'  # the same in grep's output
mapfile -t formats < <(sources formats)
report "formats/ includes a header outside formats/ and the standard library" \
  "$(search "$include"'("|<[^>]*[./])' "${formats[@]}" |
    grep -vE "$found\"formats/")"

floor() {  # <folder> <floors it may include, as a regex alternation>
  local own=$1 allowed=$2 files
  mapfile -t files < <(sources "player/$own")
  report "player/$own/ includes a player/ folder above it" \
    "$(search "$include\"player/" "${files[@]}" | grep -vE "$found\"player/($allowed)/")"
}
floor core 'core'
floor media 'core|media'
floor menu 'core|menu'
floor scenario 'core|media|menu|scenario|app'

exit $status
