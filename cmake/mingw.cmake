# Cross-compiles for Windows with Debian's mingw-w64. VX_MINGW_ARCH chooses the
# processor: i686 (the program users download) or x86_64 (the same sources as a
# test build that runs under 64-bit Wine, also where 32-bit code cannot run).
set(VX_MINGW_ARCH i686 CACHE STRING "mingw-w64 target: i686 or x86_64")
set_property(CACHE VX_MINGW_ARCH PROPERTY STRINGS i686 x86_64)
# The compiler checks CMake runs in sub-projects must see the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_MINGW_ARCH)
if(VX_MINGW_ARCH STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
elseif(VX_MINGW_ARCH STREQUAL "i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  message(FATAL_ERROR "VX_MINGW_ARCH is i686 or x86_64, not ${VX_MINGW_ARCH}")
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VX_MINGW_ARCH}-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER ${VX_MINGW_ARCH}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${VX_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
