# 64-bit ARM Linux: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Compiler g++-aarch64-linux-gnu, programs run under qemu-aarch64
# (qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SW_CROSS_TRIPLE aarch64-linux-gnu)
set(SW_CROSS_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/gnu-cross.cmake)
