# Toolchain for the 32-bit (x86) Windows build with Debian's MinGW-w64 i686
# compilers (POSIX thread model). Everything else is as for the 64-bit build
# (mingw-w64.cmake): the find root, the static links.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(VELMO_WINDOWS_DEPS "" CACHE PATH "Prefix of the dependencies built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMO_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
if(VELMO_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VELMO_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
