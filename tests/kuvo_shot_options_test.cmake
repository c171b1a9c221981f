# kuvo-shot's command line, which it reads before it opens a window: bad options get the reason and the
# usage with exit code 2, and --help the usage with exit code 0. Run by CTest with -DSHOT=<kuvo-shot>.
# Each entry: the words | the reason.
foreach(bad "|--out FILE.png is needed" "--moment;dawn;--out;a.png|--moment needs racked"
            "--size;320x;--out;a.png|--size needs WxH" "--size=15x180;--out=a.png|--size needs WxH"
            "--size; 320x180;--out;a.png|--size needs WxH" "--size;320x180junk;--out;a.png|--size needs WxH"
            "--seed;86400;--out;a.png|--seed needs" "--seed=1e3;--out;a.png|--seed needs"
            "--samples;17;--out;a.png|--samples needs" "--samples;2.0;--out;a.png|--samples needs"
            "--out=|--out needs a file name" "--out|missing value for --out" "--frame;1|unknown option --frame"
            "--s;1;--out;a.png|ambiguous option --s" "a.png|unexpected argument a.png")
  string(REPLACE "|" ";" fields "${bad}")
  list(POP_BACK fields reason)
  execute_process(COMMAND ${SHOT} ${fields} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
  if(NOT code EQUAL 2 OR NOT err MATCHES "^kuvo-shot: ${reason}[^\n]*\nusage: kuvo-shot" OR out)
    message(FATAL_ERROR "'${fields}' gave exit code ${code}:\n${out}${err}")
  endif()
endforeach()
execute_process(COMMAND ${SHOT} --help OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
if(NOT code EQUAL 0 OR NOT out MATCHES "^usage: kuvo-shot" OR err)
  message(FATAL_ERROR "--help gave exit code ${code}:\n${out}${err}")
endif()
