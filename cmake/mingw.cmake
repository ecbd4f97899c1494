# Cross build for Windows with Debian's mingw-w64. -DVEK_MINGW_ARCH=i686 (the shipped 32-bit
# library, the default) or x86_64 (the build the tests run under 64-bit Wine).
# The posix-thread compilers, because the intro's threads, locks and clock use the standard library's.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VEK_MINGW_ARCH)
  set(VEK_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${VEK_MINGW_ARCH})
set(VEK_MINGW_TRIPLE ${VEK_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${VEK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEK_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VEK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime is linked in, so the library and programs need no mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
