# The build machine's own target with Clang 14 instead of GCC:
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/clang-14.cmake
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
