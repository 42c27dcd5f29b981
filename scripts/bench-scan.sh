#!/usr/bin/env bash
# The scan benchmark: the real program under Wine and Xvfb, one full scan of a
# generated drive D: of about ENTRIES entries (default 3000) beside the
# prefix's own C:, from the press on "全盘杀毒" to "扫描完成!" (panel 0 polled
# every 10 ms), against the machine's own cost of the walker's pause measured
# in the same run over as many empty entries. Prints entries, pause cost, scan
# time and their ratio, with the window figures of that scan (WM_NULL round
# trip, start to window shown) and its memory (bench/scan_bench.cpp).
# Then the log figures: the real form with 100,000 log lines
# (bench/log_bench.cpp).
#
#   bash scripts/bench-scan.sh [ENTRIES]
#
# Builds nothing: expects build/win32 (or build/win64 where 32-bit code cannot
# run; VX_BUILD_OVERRIDE picks one) and build/native. KEEP=1 keeps the folder.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh
. scripts/bench-common.sh
entries=${1:-3000}
vx_bench_build || exit 2
vx_bench_require bench-scan "$bench_win/Vuxor.exe" "$bench_win/scan_bench.exe" "$bench_win/log_bench.exe" \
  "$bench_win/tools/win32/demo_host.exe" build/native/tools/make_samples

work=$(mktemp -d /tmp/vx-bench-scan.XXXXXX)
pfx=$work/prefix
cleanup() {
  vx_wine_stop "$pfx"
  vx_xvfb_stop
  [ "${KEEP:-0}" = 1 ] && echo "bench-scan: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

vx_xvfb_start
vx_make_prefix "$pfx" || exit 1
vx_bench_tree "$work/d" D "$entries" >/dev/null || exit 1
vx_map_drive "$pfx" d "$work/d/drive"
vx_bench_attributes "$pfx" D "$work/d"
mkdir -p "$pfx/drive_c/vx"
cp "$bench_win/Vuxor.exe" "$bench_win/scan_bench.exe" "$bench_win/log_bench.exe" "$pfx/drive_c/vx/"

echo "bench-scan: the $VX_BUILD build under Wine ($(wine --version 2>/dev/null)), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
vx_wine "$pfx" 'C:\vx\scan_bench.exe' run 'C:\vx\Vuxor.exe' </dev/null 2>/dev/null | tr -d '\r'
# Every examined file of D: restored or cleaned as the samples say.
if diff -r "$work/d/expected" "$work/d/drive" >/dev/null; then
  echo "drive D: after the scan: every file as expected"
else
  echo "drive D: after the scan: DIFFERS from the expected files"
fi
vx_wine "$pfx" 'C:\vx\log_bench.exe' </dev/null 2>/dev/null | tr -d '\r'
