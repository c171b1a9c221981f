# Runs kuvo-shot on the real OpenGL device and checks the picture: the size asked for, and a lit table
# rather than a black or garbage frame (the cloth makes the centre of the picture green).
execute_process(COMMAND ${SHOT} --moment ${MOMENT} --size 320x180 --out ${OUT} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "kuvo-shot failed (${rc}): ${err}")
endif()
execute_process(COMMAND identify -format "%w %h" ${OUT} OUTPUT_VARIABLE size)
if(NOT size STREQUAL "320 180")
  message(FATAL_ERROR "picture is ${size}, not 320 180")
endif()
# Mean colour of the middle of the picture, where the cloth lies in every moment.
execute_process(COMMAND convert ${OUT} -crop 80x8+120+66 -resize 1x1! -format "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]" info:
                OUTPUT_VARIABLE rgb)
separate_arguments(rgb)
list(GET rgb 0 r)
list(GET rgb 1 g)
list(GET rgb 2 b)
if(NOT (g GREATER 40 AND g GREATER r AND g GREATER b))
  message(FATAL_ERROR "the table's middle is not green: ${r} ${g} ${b}")
endif()
# The first player's score at the top, light red text: red and blue are not swapped on the way into
# the file.
execute_process(COMMAND convert ${OUT} -crop 40x8+95+1 -resize 1x1! -format "%[fx:int(255*r)] %[fx:int(255*b)]" info:
                OUTPUT_VARIABLE rb)
separate_arguments(rb)
list(GET rb 0 r)
list(GET rb 1 b)
math(EXPR redder "${r} - ${b}")
if(NOT redder GREATER 25)
  message(FATAL_ERROR "the first player's score is not red: red ${r}, blue ${b}")
endif()
