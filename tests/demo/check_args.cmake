# The demo's refusals: every bad argument exits with status 2 naming itself
# and what would be valid; --window where no display is usable fails.
cmake_minimum_required(VERSION 3.20)
set(cases
  "--depth 24|--depth 24: expected 8, 16 or both as 8,16"
  "--depth 8,,16|--depth 8,,16: expected 8, 16"
  "--mode 123|--mode 123: expected a size of the mode table: 640x480, 800x600, 1024x768"
  "--mode 100x100|--mode 100x100: expected a size"
  "--frames -5|--frames -5: expected a whole number from 1 to 1000000"
  "--frames abc|--frames abc: expected a whole number"
  "--frames|--frames needs a value"
  "--hold 1e3|--hold 1e3: expected a whole number from 0 to 3600"
  "--driver directdraw|--driver directdraw: expected auto, headless, sdl or ddraw"
  "--colour|unknown option --colour"
  "--out ${CMAKE_CURRENT_LIST_FILE}|--out ${CMAKE_CURRENT_LIST_FILE}: exists and is not a directory")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 command)
  list(GET parts 1 expected)
  separate_arguments(args UNIX_COMMAND "${command}")
  execute_process(COMMAND ${EMULATOR} ${DEMO} ${args}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE rc)
  string(FIND "${errors}" "${expected}" at)
  if(NOT rc EQUAL 2 OR at EQUAL -1)
    message(SEND_ERROR "${command}: exit ${rc}, expected 2 and \"${expected}\" on stderr; got:\n${errors}")
  endif()
endforeach()

# SDL2 falls back to a video driver that shows nothing; that is no display.
foreach(variable DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER)
  unset(ENV{${variable}})
endforeach()
execute_process(COMMAND ${EMULATOR} ${DEMO} --window --frames 1 --out ${OUT}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT errors MATCHES "--window needs a display|display driver sdl: not in this build")
  message(SEND_ERROR "--window without a display: exit ${rc}; got:\n${errors}")
endif()
