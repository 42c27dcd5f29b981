# The Windows side of the project: the Win32 platform adapter, the program
# itself, the adapter tests that run under Wine, and the helper programs the
# end-to-end tests start.
file(GLOB VX_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)
add_library(vx_win32 STATIC ${VX_WIN32_SOURCES})
vx_target_defaults(vx_win32)
# winmm is bound at run time from the system folder (winmm_binding.cpp): an
# import of it, as of any DLL that is not a KnownDLL, would be looked for
# beside the program first.
target_link_libraries(vx_win32 PUBLIC vx_engine advapi32)

# The processor this build is for: i686 (the program users download) or
# x86_64 (the same program for 64-bit Wine, where 32-bit code cannot run).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VX_WINDOWS_ARCH x86_64)
  set(VX_MANIFEST_ARCH amd64)
else()
  set(VX_WINDOWS_ARCH i686)
  set(VX_MANIFEST_ARCH x86)
endif()

# libjpeg-turbo built for this processor by scripts/setup-machine.sh.
set(VX_JPEG_DIR ${VX_DEPS}/libjpeg-mingw-${VX_WINDOWS_ARCH})
if(NOT EXISTS ${VX_JPEG_DIR}/lib/libjpeg.a)
  message(FATAL_ERROR "libjpeg for ${VX_WINDOWS_ARCH} mingw is missing in ${VX_JPEG_DIR}: run scripts/setup-machine.sh")
endif()
add_library(vx_jpeg STATIC IMPORTED)
set_target_properties(vx_jpeg PROPERTIES
  IMPORTED_LOCATION ${VX_JPEG_DIR}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${VX_JPEG_DIR}/include)

# The manifest names the build's own processor.
configure_file(${CMAKE_SOURCE_DIR}/app/Vuxor.manifest.in ${CMAKE_BINARY_DIR}/generated/Vuxor.manifest @ONLY)

# The version resource: scripts/release.sh passes the version git gives
# (X.Y.Z, or X.Y.Z-N-gHASH past the tag, either with -dirty); other builds
# say 0.0.0-dev, so that no test build passes for a release.
set(VX_VERSION "0.0.0-dev" CACHE STRING "The program's version, as scripts/release.sh gives it")
if(NOT VX_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(-([0-9]+)-g[0-9a-f]+)?(-dirty|-dev)?$")
  message(FATAL_ERROR "VX_VERSION is X.Y.Z[-N-gHASH][-dirty], not ${VX_VERSION}")
endif()
set(vx_release "${CMAKE_MATCH_1};${CMAKE_MATCH_2};${CMAKE_MATCH_3}")
set(vx_commits "${CMAKE_MATCH_5}")
foreach(vx_number ${vx_release})
  if(vx_number GREATER 65535)
    message(FATAL_ERROR "VX_VERSION ${VX_VERSION}: each number of a Windows version is at most 65535")
  endif()
endforeach()
if(vx_commits STREQUAL "")
  set(vx_commits 0)
elseif(vx_commits GREATER 65535)
  set(vx_commits 65535)  # the field's limit; the text keeps the exact count
endif()
list(APPEND vx_release ${vx_commits})
string(REPLACE ";" "," VX_VERSION_NUMBERS "${vx_release}")
configure_file(${CMAKE_SOURCE_DIR}/app/version_info.h.in ${CMAKE_BINARY_DIR}/generated/version_info.h @ONLY)
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/Vuxor.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_BINARY_DIR}/generated/version_info.h;${CMAKE_BINARY_DIR}/generated/Vuxor.manifest")

file(GLOB VX_APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.rc)
add_executable(Vuxor WIN32 ${VX_APP_SOURCES})
vx_target_defaults(Vuxor)
target_link_libraries(Vuxor PRIVATE vx_win32 vx_engine vx_jpeg comctl32 gdi32 user32 advapi32)
target_include_directories(Vuxor PRIVATE ${CMAKE_BINARY_DIR}/generated)
set_target_properties(Vuxor PROPERTIES OUTPUT_NAME Vuxor SUFFIX .exe)
# The download is one small program: no symbols in it.
target_link_options(Vuxor PRIVATE -s)

# GoogleTest's one use of std::mutex (absent from this mingw's win32 thread
# model) is replaced by a Win32 event, see the header.
target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/cmake/gtest-mingw-notification.h)

file(GLOB VX_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
# The queue between the scan worker and the window is tested against real
# messages and timers too.
add_executable(win32_tests ${VX_WIN32_TESTS} ${VX_CONTRACT_TESTS} ${CMAKE_SOURCE_DIR}/tests/contract/beds/win32_bed.cpp
               ${CMAKE_SOURCE_DIR}/app/window_queue.cpp)
vx_target_defaults(win32_tests)
target_link_libraries(win32_tests PRIVATE vx_win32 vx_engine gtest)

add_subdirectory(tests/e2e)
add_subdirectory(tools/win32)

# Benchmarks (not part of the test tiers): scripts/bench-pacing.sh,
# scripts/bench-scan.sh, scripts/bench-engine.sh.
add_executable(pacing_bench ${CMAKE_SOURCE_DIR}/bench/pacing_bench.cpp)
vx_target_defaults(pacing_bench)
target_link_libraries(pacing_bench PRIVATE vx_win32 vx_engine winmm)

add_executable(scan_bench ${CMAKE_SOURCE_DIR}/bench/scan_bench.cpp)
vx_target_defaults(scan_bench)
target_link_libraries(scan_bench PRIVATE vx_win32 vx_engine e2e_form_probe winmm psapi user32)

add_executable(engine_bench ${CMAKE_SOURCE_DIR}/bench/engine_bench.cpp)
vx_target_defaults(engine_bench)
target_link_libraries(engine_bench PRIVATE vx_win32 vx_engine winmm)

# The window's own code without its WinMain, driven by the log benchmark.
if(VX_APP_SOURCES)
  set(VX_FORM_SOURCES ${VX_APP_SOURCES})
  list(FILTER VX_FORM_SOURCES EXCLUDE REGEX "/app/main\\.cpp$")
  add_executable(log_bench ${CMAKE_SOURCE_DIR}/bench/log_bench.cpp ${VX_FORM_SOURCES})
  vx_target_defaults(log_bench)
  target_link_libraries(log_bench PRIVATE vx_win32 vx_engine e2e_form_probe vx_jpeg comctl32 gdi32 user32 advapi32 winmm)
  target_include_directories(log_bench PRIVATE ${CMAKE_BINARY_DIR}/generated)
endif()
