#!/usr/bin/env bash
# Measures the walker's pause per entry under Wine (see bench/pacing_bench.cpp).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh"
# The build the machine can run: the 32-bit program, or the 64-bit one.
vx_use_build "$(vx_windows_builds | cut -d' ' -f1)"
prefix=$(mktemp -d /tmp/vx-bench.XXXXXX)
trap 'vx_wine_stop "$prefix"; rm -rf "$prefix"' EXIT
vx_make_prefix "$prefix" >/dev/null
cp "$top/build/$VX_BUILD/pacing_bench.exe" "$prefix/drive_c/"
vx_wine "$prefix" 'C:\pacing_bench.exe' "${1:-2000}" </dev/null
