# The public interface as a C host sees it: the headers compile as C99, the
# records have their fixed layouts, and the shared libraries export exactly
# the declared names.
add_executable(test_c_abi ${CMAKE_CURRENT_LIST_DIR}/c_abi.c)
set_target_properties(test_c_abi PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(test_c_abi PRIVATE -Wall -Wextra -pedantic -Werror)
target_link_libraries(test_c_abi PRIVATE spanwright vesk)
add_test(NAME c_abi COMMAND test_c_abi)

add_test(NAME exports COMMAND ${CMAKE_COMMAND}
  -DLIBRARY=$<TARGET_FILE:spanwright> -DVESK=$<TARGET_FILE:vesk> -DNM=${CMAKE_NM}
  "-DOBJDUMP=$<$<BOOL:${WIN32}>:${CMAKE_OBJDUMP}>"
  -DHEADER=${PROJECT_SOURCE_DIR}/include/spanwright/spanwright.h
  -DVESK_HEADER=${PROJECT_SOURCE_DIR}/include/spanwright/vesk.h
  -P ${CMAKE_CURRENT_LIST_DIR}/check_exports.cmake)
