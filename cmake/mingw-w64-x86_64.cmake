# Cross-compiles for Windows x64 with Debian's MinGW-w64 compiler (g++-mingw-w64-x86-64) and runs
# the results under Wine, so that ctest runs the same tests as on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: GoogleTest needs std::mutex, which GCC 12's win32 model lacks.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no MinGW runtime DLLs to ship beside them or for Wine to find.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian's wine64 package keeps its loader out of PATH. Wine runs without a display, quietly, in
# a prefix of its own inside the build tree, and never offers to install Mono or Gecko.
find_program(KESSA2JSON_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(KESSA2JSON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env -u DISPLAY WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      WINEPREFIX=${CMAKE_BINARY_DIR}/wine ${KESSA2JSON_WINE})
endif()
