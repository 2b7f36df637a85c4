# Shared part of the cross toolchain files: a Debian cross compiler named
# after its target triple, the target's own tree under /usr/<triple> for
# libraries and packages (never the build machine's), and an emulator that
# runs the target's programs so that CTest can run every test here.
#
# The including file sets SW_CROSS_TRIPLE, CMAKE_SYSTEM_NAME,
# CMAKE_SYSTEM_PROCESSOR and, where the target needs them, SW_CROSS_FLAGS
# (compiler flags), SW_CROSS_COMPILER_SUFFIX (e.g. "-posix") and
# SW_CROSS_EMULATOR (the runner, a list).
set(CMAKE_C_COMPILER ${SW_CROSS_TRIPLE}-gcc${SW_CROSS_COMPILER_SUFFIX})
set(CMAKE_CXX_COMPILER ${SW_CROSS_TRIPLE}-g++${SW_CROSS_COMPILER_SUFFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${SW_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "${SW_CROSS_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${SW_CROSS_FLAGS}")

if(SW_CROSS_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SW_CROSS_EMULATOR})
endif()
