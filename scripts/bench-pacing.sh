#!/usr/bin/env bash
# Measures the walker's pause per entry under Wine (see tests/bench/pacing_bench.cpp).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/vx-bench.XXXXXX)
trap 'vx_wine_stop "$prefix"; rm -rf "$prefix"' EXIT
vx_make_prefix "$prefix" >/dev/null
cp "$top/build/win32/pacing_bench.exe" "$prefix/drive_c/"
vx_wine "$prefix" 'C:\pacing_bench.exe' "${1:-2000}" </dev/null
