# What both MinGW-w64 toolchains share; ZP_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${ZP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZP_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One file to copy: no libstdc++, libgcc or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# -O2, as the Linux build: GCC 12 at -O3 warns falsely (-Wrestrict) inside
# std::string. The release program carries no symbols.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE "-s" CACHE STRING "Release link flags" FORCE)
