# Cross-compiles for Linux on 64-bit ARM with Debian's compiler (g++-aarch64-linux-gnu); where
# qemu-user-static is installed, it runs what is built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(KESSA2JSON_QEMU qemu-aarch64-static)
if(KESSA2JSON_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESSA2JSON_QEMU} -L /usr/aarch64-linux-gnu)
endif()
