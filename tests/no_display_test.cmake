# Without any display kuvo must say so in one line of its own and end at once with a failing status,
# never run its menu in SDL's invisible offscreen driver.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=SDL_VIDEODRIVER
                        ${KUVO}
                RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 10)
if(rc EQUAL 0 OR NOT rc MATCHES "^[0-9]+$")
  message(FATAL_ERROR "kuvo without a display ended with '${rc}', not a failing status; stderr:\n${err}")
endif()
string(REGEX MATCHALL "kuvo: [^\n]*" lines "${err}")
list(LENGTH lines count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one line from kuvo, got ${count}:\n${err}")
endif()
if(NOT lines MATCHES "^kuvo: no display: ")
  message(FATAL_ERROR "the line does not name the problem: ${lines}")
endif()
# The user's own choice of driver holds: asked for by name, the offscreen driver is taken, and kuvo gets as
# on with its (invisible) menu until it is stopped.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen
                        ${KUVO}
                RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 5)
if(err MATCHES "kuvo: no display")
  message(FATAL_ERROR "SDL_VIDEODRIVER=offscreen was refused: ${err}")
endif()
