# kuvo_include_wall(<target> <wall> <files...>): before <target> compiles, every #include line of <files>
# (headers too) is checked against the allow list of <wall> (cmake/CheckIncludes.cmake). The compiler
# would find any system header, so this check is what keeps a file inside its wall: one that
# reaches past it fails the build, and the message names the file and the include.
function(kuvo_include_wall target wall)
  set(files "")
  foreach(file IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH file)  # from the calling directory
    list(APPEND files "${file}")
  endforeach()
  set(script "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.includes-checked")
  add_custom_command(OUTPUT "${stamp}"
                     COMMAND ${CMAKE_COMMAND} -DWALL=${wall} -DROOT=${PROJECT_SOURCE_DIR} -P "${script}" -- ${files}
                     COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
                     DEPENDS ${files} "${script}"
                     COMMENT "Checking the includes of ${target} against the ${wall} wall" VERBATIM)
  add_custom_target(${target}_includes DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_includes)
endfunction()
