# Cross-compiling for 64-bit IBM Z, a big-endian CPU, with Debian's cross
# compiler (g++-s390x-linux-gnu); the programs run under qemu-user:
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake
#   qemu-s390x build-s390x/tool/zanvo-extract IMAGE
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(triple s390x-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
