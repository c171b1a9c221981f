# kuvo_embed_generated(<target> <symbol> <file>): like kuvo_embed (cmake/Embed.cmake), for a <file> that
# another build step writes: the C++ array is regenerated at build time whenever <file> changes. The
# custom command lives in the calling directory, so <target> must be defined there too.
function(kuvo_embed_generated target symbol file)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DSYMBOL=${symbol} -DINPUT=${file} -DOUTPUT=${out}
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    DEPENDS "${file}" "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    COMMENT "Embedding ${symbol}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
endfunction()
