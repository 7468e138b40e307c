# Cross build for i686 Windows with Debian's mingw-w64 (packages g++-mingw-w64-i686).
# The posix thread model gives the C++ runtime its threads; it is linked statically all the same.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QUENDAL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QUENDAL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENDAL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENDAL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUENDAL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
