#!/usr/bin/env bash
# Builds every build: build/native (the test bed), build/win32 (the program
# users download, i686), build/win64 (the same sources for x86-64, so that the
# Wine tiers also run where 32-bit code cannot), and, with --asan, build/asan
# (the test bed under ASan and UBSan).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
deps=${VX_DEPS:-$top/.deps}
jobs=$(nproc)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j"$jobs"
for arch in i686:win32 x86_64:win64; do
  cmake -S . -B "build/${arch#*:}" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_DEPS="$deps" \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-${arch%:*}.cmake" >/dev/null
  cmake --build "build/${arch#*:}" -j"$jobs"
done
if [ "${1:-}" = "--asan" ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON >/dev/null
  cmake --build build/asan -j"$jobs"
fi
