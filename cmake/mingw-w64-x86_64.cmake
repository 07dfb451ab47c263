# Cross-build for 64-bit Windows with Debian's MinGW-w64 g++ (posix threads):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WERULE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WERULE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WERULE_MINGW}-g++-posix)
set(CMAKE_ASM_COMPILER ${WERULE_MINGW}-gcc-posix)
set(CMAKE_RC_COMPILER ${WERULE_MINGW}-windres)

# Headers and libraries of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${WERULE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
