# The include walls (cmake/CheckIncludes.cmake) on temporary copies of real files: each copy passes as it
# is, and fails with one planted include that crosses its wall, the message naming the file and the include.
cmake_minimum_required(VERSION 3.25)
set(check "${ROOT}/cmake/CheckIncludes.cmake")
file(REMOVE_RECURSE "${WORK}")

# Copies <source> (relative to ROOT) under WORK with <plant> appended and runs <wall>'s check on it.
function(run_check wall source plant)
  set(copy "${WORK}/${source}")
  file(READ "${ROOT}/${source}" text)
  file(WRITE "${copy}" "${text}${plant}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DWALL=${wall} -DROOT=${ROOT} -P "${check}" -- "${copy}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(rc "${rc}" PARENT_SCOPE)
  set(output "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect_pass wall source plant)
  run_check(${wall} ${source} "${plant}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the ${wall} wall refused ${source} with '${plant}', which it allows:\n${output}")
  endif()
endfunction()

function(expect_refusal wall source plant shown)
  run_check(${wall} ${source} "${plant}")
  if(rc EQUAL 0)
    message(FATAL_ERROR "the ${wall} wall let '${plant}' into ${source}")
  endif()
  string(FIND "${output}" "${source}: #include ${shown}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the ${wall} wall's message does not name ${source} and ${shown}:\n${output}")
  endif()
endfunction()

# A game module: its own includes and the allowed kinds pass; system libraries and backends do not.
expect_pass(game control/modCtrl.cpp "")
expect_pass(game control/modCtrl.cpp "#include <span>\n#include \"sound/modDS.h\"\n#include \"platform/Gfx.h\"")
expect_refusal(game control/modCtrl.cpp "#include <SDL2/SDL.h>" "<SDL2/SDL.h>")
expect_refusal(game control/modCtrl.cpp "  #  include   <GL/gl.h>  // spaced" "<GL/gl.h>")
expect_refusal(game control/modCtrl.cpp "#include <stdio.h>" "<stdio.h>")
expect_refusal(game control/modCtrl.cpp "#include \"platform/testing/RecordingGfx.h\""
               "\"platform/testing/RecordingGfx.h\"")
expect_refusal(game control/modCtrl.cpp "#include \"platform/sdl/SdlWindow.h\"" "\"platform/sdl/SdlWindow.h\"")
expect_refusal(game control/modCtrl.cpp "#include \"../platform/gl/GlGfx.h\"" "\"../platform/gl/GlGfx.h\"")
expect_refusal(game control/modCtrl.cpp "#include \"tests/oracles/modTFScript_reference.h\""
               "\"tests/oracles/modTFScript_reference.h\"")
expect_refusal(game control/modCtrl.cpp "#include \"tests/GameFixture.h\"" "\"tests/GameFixture.h\"")
expect_refusal(game physics/modMath.h "#include \"SDL_keycode.h\"" "\"SDL_keycode.h\"")
expect_refusal(game control/modCtrl.cpp "#include GAME_HEADER" "GAME_HEADER")

# A testing backend: the interface, its own folder and the FreeType canvas; no other real backend.
expect_pass(testing platform/testing/RecordingGfx.cpp "#include \"platform/freetype/FreeTypeCanvas.h\"")
expect_refusal(testing platform/testing/RecordingGfx.cpp "#include \"platform/gl/GlGfx.h\"" "\"platform/gl/GlGfx.h\"")
expect_refusal(testing platform/testing/RecordingGfx.cpp "#include <SDL2/SDL.h>" "<SDL2/SDL.h>")
expect_refusal(testing platform/testing/RecordingGfx.cpp "#include \"app/modMain.h\"" "\"app/modMain.h\"")

# A real backend: system headers and the backends' folders; no testing backend.
expect_pass(real platform/sdl/SdlWindow.cpp "#include <AL/al.h>")
expect_refusal(real platform/sdl/SdlWindow.cpp "#include \"platform/testing/ScriptedWindow.h\""
               "\"platform/testing/ScriptedWindow.h\"")
expect_refusal(real platform/sdl/SdlWindow.cpp "#include \"control/modCtrl.h\"" "\"control/modCtrl.h\"")

file(REMOVE_RECURSE "${WORK}")
