# Cross build of the Windows program with Debian's MinGW-w64 (32-bit): a
# compile-and-link check here, as 32-bit programs cannot run on this machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZP_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
