# Checks the #include lines of source files against one wall's allow list; fails naming each file and
# include that breaks it. kuvo_include_wall (cmake/IncludeWall.cmake) runs it at build time:
#   cmake -DWALL=<game|testing|real> [-DROOT=<source root>] -P CheckIncludes.cmake -- <files...>
# The walls:
#   game     the game's modules and the platform interface files: platform/*.h, the headers of the game's
#            own folders and the C++ standard library (and the compiler's SSE2 intrinsics).
#   testing  the testing backends: platform/*.h, platform/testing/*.h and the C++ standard library; of the
#            real backends only the FreeType canvas, which the headless platform draws text with.
#   real     the real backends: any system header, and of the project platform/*.h and the real backends'
#            own folders, never a testing backend or a game module.

cmake_minimum_required(VERSION 3.25)
set(standard_library
  algorithm any array atomic barrier bit bitset charconv chrono compare complex concepts condition_variable
  coroutine deque exception execution filesystem format forward_list fstream functional future
  initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map memory
  memory_resource mutex new numbers numeric optional ostream queue random ranges ratio regex scoped_allocator
  semaphore set shared_mutex source_location span sstream stack stdexcept stop_token streambuf string
  string_view syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set
  utility valarray variant vector version
  cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg cstddef cstdint
  cstdio cstdlib cstring ctime cuchar cwchar cwctype)
set(game_folders "(app|control|physics|ai|sound|geometry|textures|platform)")

if(WALL STREQUAL "game")
  set(what "a game module may include only platform/*.h, the game's own folders and the C++ standard library")
  set(system_allowed ${standard_library} emmintrin.h)
  set(project_allowed "^${game_folders}/[^/]+\\.h$")
elseif(WALL STREQUAL "testing")
  set(what "a testing backend may include only platform/*.h, platform/testing/*.h, the FreeType canvas and "
           "the C++ standard library")
  set(system_allowed ${standard_library})
  set(project_allowed "^platform/(testing/)?[^/]+\\.h$|^platform/freetype/FreeTypeCanvas\\.h$")
elseif(WALL STREQUAL "real")
  set(what "a real backend may include only system headers, platform/*.h and the real backends' folders")
  set(system_allowed "*")
  set(project_allowed "^platform/((sdl|gl|openal|freetype|imgui)/)?[^/]+\\.h$")
else()
  message(FATAL_ERROR "CheckIncludes.cmake: unknown wall '${WALL}'")
endif()
string(JOIN "" what ${what})

set(files "")
set(after_dashes OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(after_dashes)
    list(APPEND files "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after_dashes ON)
  endif()
endforeach()

set(breaches "")
foreach(file IN LISTS files)
  set(shown "${file}")
  if(ROOT)
    file(RELATIVE_PATH relative "${ROOT}" "${file}")
    if(NOT relative MATCHES "^\\.\\./")
      set(shown "${relative}")
    endif()
  endif()
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
      set(included "<${CMAKE_MATCH_1}>")
      if(system_allowed STREQUAL "*" OR CMAKE_MATCH_1 IN_LIST system_allowed)
        continue()
      endif()
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(included "\"${CMAKE_MATCH_1}\"")
      if(CMAKE_MATCH_1 MATCHES "${project_allowed}")
        continue()
      endif()
    else()
      # An include through a macro (FreeType's FT_FREETYPE_H) names a system header or cannot be checked.
      if(system_allowed STREQUAL "*")
        continue()
      endif()
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" included "${line}")
      string(STRIP "${included}" included)
    endif()
    list(APPEND breaches "${shown}: #include ${included}")
  endforeach()
endforeach()

if(breaches)
  list(JOIN breaches "\n  " listed)
  message(FATAL_ERROR "include outside the ${WALL} wall (${what}):\n  ${listed}")
endif()
