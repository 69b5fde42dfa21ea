# cmake -DSOURCE_DIR=<project> -P CheckPlayerUpcalls.cmake
# Fails when a file of player/core includes a header of player/scenario or
# player/screens that player/core_upcalls.txt does not list.
cmake_minimum_required(VERSION 3.20)
file(STRINGS ${SOURCE_DIR}/player/core_upcalls.txt allowed REGEX "^[^#]")
file(GLOB files ${SOURCE_DIR}/player/core/*.cpp ${SOURCE_DIR}/player/core/*.h)
set(bad "")
foreach(f IN LISTS files)
  file(STRINGS ${f} lines REGEX "#include \"player/(scenario|screens|menu|media)/")
  foreach(l IN LISTS lines)
    string(REGEX REPLACE ".*#include \"([^\"]+)\".*" "\\1" header "${l}")
    if(NOT header IN_LIST allowed)
      string(APPEND bad "  ${f}: ${header}\n")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "player/core includes headers outside player/core_upcalls.txt:\n${bad}")
endif()
