# Cross-compiling for 32-bit x86 with Debian's cross compiler
# (g++-i686-linux-gnu); the programs run under qemu-user, or directly on an
# x86-64 kernel that runs 32-bit programs:
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-linux-gnu.cmake
#   qemu-i386 build-i686/tool/zanvo-extract IMAGE
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(triple i686-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
