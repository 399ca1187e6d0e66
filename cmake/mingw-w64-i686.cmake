# Cross-compiles the library for 32-bit Windows with Debian's mingw-w64
# toolchain (package g++-mingw-w64-i686-posix).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KPX4160_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Floating point in SSE2 registers, as Microsoft's compiler does for x86:
# the x87 unit keeps 64-bit mantissas in its registers until a value is
# stored, so the same expression could round differently from the 64-bit
# build depending on what the compiler spills. Every x86 processor since the
# Pentium 4 has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
