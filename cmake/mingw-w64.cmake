# Cross build for Windows with Debian's MinGW-w64 compilers (the -posix ones:
# their thread model has std::mutex and std::thread). ZB_WINDOWS_ARCH picks the
# target: x86_64 (default) or i686.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT ZB_WINDOWS_ARCH)
  set(ZB_WINDOWS_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${ZB_WINDOWS_ARCH})
set(ZB_MINGW_TRIPLET ${ZB_WINDOWS_ARCH}-w64-mingw32)
# The toolchain file is read again for each try-compile: pass the choice on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZB_WINDOWS_ARCH)

set(CMAKE_C_COMPILER ${ZB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZB_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's run-time libraries (libstdc++, libgcc, winpthread) linked in,
# so the programs and engines need no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine.
find_program(ZB_WINE wine)
if(ZB_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZB_WINE})
endif()
