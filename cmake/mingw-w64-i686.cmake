# Toolchain for the 32-bit (x86) Windows build with Debian's MinGW-w64 i686
# compilers (POSIX thread model). Everything else is as for the 64-bit build
# (mingw-w64.cmake): the find root, the static links.
set(VELMO_MINGW_TARGET i686-w64-mingw32)
set(VELMO_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
