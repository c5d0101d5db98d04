# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Builds the Qt-free libraries and the Qt-free tests; there is no Qt for this target on
# Debian, so the window, the setup dialog and what needs them are left out. GoogleTest is
# compiled from Debian's sources (/usr/src/googletest) with the same compiler. Programs
# are linked statically, so that they run without the compiler's DLLs (also under Wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(MORVALA_WINDOW OFF CACHE BOOL "No Qt for this target" FORCE)
set(MORVALA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the target")
