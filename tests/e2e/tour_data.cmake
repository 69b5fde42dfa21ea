# Converts the sample desktop game once for the tours of every player build:
# pictures and scripts at 640x480 ("grpack_v.mlz"), then everything at
# 320x240 ("grpack.mlz", sounds and voices), and adds the opening movie and
# its track, which the converter does not carry.
#   cmake -DCONVERT=<convert_game> -DMODULES=<encoder folder> -DGAME=<desktop game>
#         -DMOVIE=<movie folder> -DOUT=<folder receiving data/> -P tour_data.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
foreach(run "--screen;640x480;--no-sound" "--screen;320x240")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env VELMI_MODULE_PATH=${MODULES} ${CONVERT} ${run} ${GAME} ${OUT}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "convert_game ${run} failed: ${result}")
  endif()
endforeach()
file(GLOB movie ${MOVIE}/*)
file(COPY ${movie} DESTINATION ${OUT}/data)
