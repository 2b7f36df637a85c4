# 64-bit Windows: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
# Compiler g++-mingw-w64-x86-64-posix; programs run under wine64 through
# tools/windows/wine-run.sh, with a wine prefix of their own in the build
# folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SW_CROSS_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
