#!/usr/bin/env bash
# The engine benchmark: the walker and both repairers with every pause taken
# out (a platform of the benchmark's own that forwards each call to the Win32
# adapter except Sleep; the program has no such switch), against a bare loop
# of FindFirstFileA/FindNextFileA plus one whole-file read of every file the
# walker hands to a repairer, over the same tree, in one process
# (bench/engine_bench.cpp). The tree is the drive of bench-scan.sh,
# about ENTRIES entries (default 3000), copied afresh for every round, since
# the engine repairs it; rounds alternate which of the two runs first. Prints
# each round and the medians, then where the engine's time goes (one more run
# that times every platform call). Then the same over a tree with nothing to
# repair, the prefix's own C:\windows.
#
#   bash scripts/bench-engine.sh [ENTRIES] [ROUNDS]
#
# Builds nothing: expects build/win32 (or build/win64 where 32-bit code cannot
# run; VX_BUILD_OVERRIDE picks one) and build/native.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh
. scripts/bench-common.sh
entries=${1:-3000}
rounds=${2:-5}
vx_bench_build || exit 2
vx_bench_require bench-engine "$bench_win/engine_bench.exe" "$bench_win/tools/win32/demo_host.exe" \
  build/native/tools/make_samples

work=$(mktemp -d /tmp/vx-bench-engine.XXXXXX)
pfx=$work/prefix
cleanup() {
  vx_wine_stop "$pfx"
  [ "${KEEP:-0}" = 1 ] && echo "bench-engine: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

vx_make_prefix "$pfx" >/dev/null || exit 1
vx_bench_tree "$work/tree" W "$entries" >/dev/null || exit 1
# The flags go on the pristine tree once (as drive P:); every copy keeps them
# (cp -a keeps the mode and the extended attribute Wine stores them in).
vx_map_drive "$pfx" p "$work/tree/drive"
vx_bench_attributes "$pfx" P "$work/tree"
vx_map_drive "$pfx" w "$work/copy"
mkdir -p "$pfx/drive_c/vx"
cp "$bench_win/engine_bench.exe" "$pfx/drive_c/vx/"
# One server for every round: starting it again would be timed by nobody,
# but would cool the caches between rounds.
( vx_wine_env; export WINEPREFIX="$pfx"; "$(_vx_server)" -p )

echo "bench-engine: the $VX_BUILD build under Wine ($(wine --version 2>/dev/null)), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# rounds NAME FOLDER [COPY]: ROUNDS runs over FOLDER, with a fresh copy of the
# sample tree before each when COPY is given; prints each and the medians.
rounds() {
  local name=$1 folder=$2 copy=${3:-} r order out
  local ratios=() bares=() engines=()
  for r in $(seq 1 "$rounds"); do
    if [ -n "$copy" ]; then rm -rf "$work/copy"; cp -a "$work/tree/drive" "$work/copy"; fi
    order=; [ $((r % 2)) = 0 ] && order=--engine-first
    out=$(vx_wine "$pfx" 'C:\vx\engine_bench.exe' "$folder" $order </dev/null 2>/dev/null | tr -d '\r')
    echo "$name, round $r${order:+ (engine first)}:"
    echo "$out" | sed 's/^/  /'
    bares+=("$(echo "$out" | sed -n 's/^bare \([0-9.]*\) s.*/\1/p')")
    engines+=("$(echo "$out" | sed -n 's/^engine \([0-9.]*\) s.*/\1/p')")
    ratios+=("$(echo "$out" | sed -n 's/^ratio \([0-9.]*\)$/\1/p')")
  done
  echo "$name, median of $rounds rounds: bare $(median "${bares[@]}") s, engine $(median "${engines[@]}") s, ratio engine/bare $(median "${ratios[@]}")"
  # Where the engine's time goes, from one more run that times every call.
  if [ -n "$copy" ]; then rm -rf "$work/copy"; cp -a "$work/tree/drive" "$work/copy"; fi
  echo "$name, one run with the engine's calls timed (slower, not compared):"
  vx_wine "$pfx" 'C:\vx\engine_bench.exe' "$folder" --call-times </dev/null 2>/dev/null | tr -d '\r' |
    sed -n 's/^engine.s platform calls/  &/p'
}
rounds "sample tree" 'W:\' copy
# A tree with nothing to repair: the prefix's own C:\windows (about a
# thousand entries, a hundred programs read whole).
rounds "clean tree C:\windows" 'C:\windows'
