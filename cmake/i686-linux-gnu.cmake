# 32-bit x86 Linux: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
# Compiler g++-i686-linux-gnu, programs run under qemu-i386 (qemu-user).
# The project itself adds -msse2 -mfpmath=sse for every 32-bit x86 build.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SW_CROSS_TRIPLE i686-linux-gnu)
set(SW_CROSS_EMULATOR qemu-i386 -L /usr/i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/gnu-cross.cmake)
