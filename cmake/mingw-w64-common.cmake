# Shared part of the mingw-w64 cross toolchains (mingw-w64.cmake for 64-bit,
# mingw-w64-i686.cmake for 32-bit Windows). The including file sets
# KPX4160_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR. Debian's posix variants
# of the compilers are used: their thread model gives std::thread and
# std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KPX4160_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KPX4160_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KPX4160_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KPX4160_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine when it is installed: `wine` runs both 32-
# and 64-bit programs once the 32-bit half is present; Debian's wine64
# package alone installs its loader outside the PATH.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  find_program(KPX4160_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
else()
  find_program(KPX4160_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
endif()
if(KPX4160_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KPX4160_WINE})
endif()
