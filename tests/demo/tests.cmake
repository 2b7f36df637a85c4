# The demo host end to end: its frames must hash to the reviewed values in
# golden.txt (regenerate deliberately with tools/demo/update-golden.sh), and
# its bad arguments are refused with a reason.
if(SPANWRIGHT_BUILD_TOOLS)
  add_test(NAME demo_golden COMMAND ${CMAKE_COMMAND}
    -DDEMO=$<TARGET_FILE:spanwright-demo> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
    -DARGS_FILE=${CMAKE_CURRENT_LIST_DIR}/golden-args.txt
    -DGOLDEN=${CMAKE_CURRENT_LIST_DIR}/golden.txt
    -DOUT=${CMAKE_CURRENT_BINARY_DIR}/demo-golden
    -P ${CMAKE_CURRENT_LIST_DIR}/check_golden.cmake)
  add_test(NAME demo_arguments COMMAND ${CMAKE_COMMAND}
    -DDEMO=$<TARGET_FILE:spanwright-demo> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
    -DOUT=${CMAKE_CURRENT_BINARY_DIR}/demo-arguments
    -P ${CMAKE_CURRENT_LIST_DIR}/check_args.cmake)
endif()
