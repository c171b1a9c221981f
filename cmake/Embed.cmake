# kuvo_embed(<target> <symbol> <file>): compiles <file> into <target> as
# `extern const unsigned char <symbol>[]` and `extern const std::size_t <symbol>Size`,
# so the program reads no files at run time. The source is written at configure time
# (so any directory may add it to any target); a change of <file> re-runs the configuration.
function(kuvo_embed target symbol file)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSYMBOL=${symbol} -DINPUT=${file} -DOUTPUT=${out}
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot embed ${file}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
