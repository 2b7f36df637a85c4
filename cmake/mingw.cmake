# Shared part of the Windows toolchain files: Debian's MinGW-w64 compilers
# with POSIX threads (the C++ library's threading needs them), linked
# statically so that spanwright.dll, vesk.dll and the programs need no
# compiler run-time DLL beside them.
set(SW_CROSS_COMPILER_SUFFIX -posix)
set(CMAKE_RC_COMPILER ${SW_CROSS_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
if(NOT SW_CROSS_NO_EMULATOR)
  set(SW_CROSS_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/windows/wine-run.sh)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/gnu-cross.cmake)
