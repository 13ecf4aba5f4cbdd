# Toolchain for a Windows build with Debian's MinGW-w64 (POSIX thread model,
# which std::mutex needs).
#
#   VELMO_WINDOWS_DEPS   prefix of the dependencies built for Windows
#                        (GoogleTest, CLI11's headers); scripts/build-windows.sh
#                        makes it.
# The 32-bit build's toolchain (mingw-w64-i686.cmake) sets the target
# before it includes this file; by default it is 64-bit (x86-64).
if(NOT VELMO_MINGW_TARGET)
  set(VELMO_MINGW_TARGET x86_64-w64-mingw32)
  set(VELMO_MINGW_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELMO_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${VELMO_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMO_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMO_MINGW_TARGET}-windres)

# Headers, libraries and packages come from the MinGW sysroot and the
# dependencies built for Windows only, never from the host's /usr.
set(VELMO_WINDOWS_DEPS "" CACHE PATH "Prefix of the dependencies built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMO_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMO_MINGW_TARGET})
if(VELMO_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VELMO_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked statically (the GCC runtime, libstdc++, winpthreads), so
# the DLLs and programs import only what ships with Windows. -static must
# reach the link line itself: linker options placed ahead of the objects take
# nothing from the archives.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
