# Toolchain for a Windows build with Debian's MinGW-w64 (POSIX thread model,
# which std::mutex needs).
#
#   VELMO_WINDOWS_DEPS   prefix of the dependencies built for Windows
#                        (GoogleTest, CLI11's headers); scripts/build-windows.sh
#                        makes it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers, libraries and packages come from the MinGW sysroot and the
# dependencies built for Windows only, never from the host's /usr.
set(VELMO_WINDOWS_DEPS "" CACHE PATH "Prefix of the dependencies built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMO_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
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
