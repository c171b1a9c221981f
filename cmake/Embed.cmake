# kuvo_embed(<target> <symbol> <file>): compiles <file> into <target> as
# `extern const unsigned char <symbol>[]` and `extern const std::size_t <symbol>Size`,
# so the program reads no files at run time.
function(kuvo_embed target symbol file)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DSYMBOL=${symbol} -DINPUT=${file} -DOUTPUT=${out}
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    DEPENDS "${file}" "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
endfunction()
