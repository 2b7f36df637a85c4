# 32-bit Windows: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
# Compiler g++-mingw-w64-i686-posix. The programs are built and inspected
# only: running them would need a 32-bit wine, which these machines do not
# install. The project adds -msse2 -mfpmath=sse for every 32-bit x86 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SW_CROSS_TRIPLE i686-w64-mingw32)
set(SW_CROSS_NO_EMULATOR ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
