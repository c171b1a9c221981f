# The desktop icon as written at build time: 128 x 128 with alpha, transparent in the corners, opaque
# ivory in the middle (redder than blue, so red and blue are not swapped) on a green disc.
# Run by CTest with -DICON=<kuvo.png>.
execute_process(COMMAND identify -format "%w %h %[channels]" ${ICON} OUTPUT_VARIABLE format)
if(NOT format STREQUAL "128 128 srgba")
  message(FATAL_ERROR "the icon is ${format}, not 128 128 srgba")
endif()
# Each entry: the pixel | its alpha | a channel that must be higher | the lower one | by at least
# (channels 0 red, 1 green, 2 blue, values 0 to 255).
foreach(check "0,0|0" "127,127|0" "64,64|255|0|2|15" "12,64|255|1|0|40" "12,64|255|1|2|40")
  string(REPLACE "|" ";" fields "${check}")
  list(GET fields 0 at)
  list(GET fields 1 alpha)
  execute_process(COMMAND convert ${ICON} -format
                  "%[fx:int(255*p{${at}}.r+0.5)] %[fx:int(255*p{${at}}.g+0.5)] %[fx:int(255*p{${at}}.b+0.5)] %[fx:int(255*p{${at}}.a+0.5)]"
                  info: OUTPUT_VARIABLE rgba)
  separate_arguments(rgba)
  list(GET rgba 3 a)
  if(NOT a EQUAL alpha)
    message(FATAL_ERROR "the icon's pixel ${at} has alpha ${a}, not ${alpha}")
  endif()
  list(LENGTH fields n)
  if(n EQUAL 5)
    list(GET fields 2 high)
    list(GET fields 3 low)
    list(GET fields 4 margin)
    list(GET rgba ${high} h)
    list(GET rgba ${low} l)
    math(EXPR difference "${h} - ${l}")
    if(NOT difference GREATER_EQUAL margin)
      message(FATAL_ERROR "the icon's pixel ${at} is ${rgba}: channel ${high} is not ${margin} above ${low}")
    endif()
  endif()
endforeach()
