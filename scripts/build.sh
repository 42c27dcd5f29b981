#!/usr/bin/env bash
# Builds both builds: build/native (test bed), build/win32 (the program), and,
# with --asan, build/asan (the test bed under ASan and UBSan).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j"$jobs"
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win32 -j"$jobs"
if [ "${1:-}" = "--asan" ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON >/dev/null
  cmake --build build/asan -j"$jobs"
fi
