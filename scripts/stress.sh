#!/usr/bin/env bash
# Stress run: random sequences of "全盘杀毒", "停止杀毒", "清空日志" and pauses
# of random length against the real program under Wine, on a small test tree
# (tests/e2e/stress.cpp says what is checked after each sequence).
#
#   scripts/stress.sh [N [SEED]]     N sequences (default 30), SEED (default: random)
#
# Builds nothing: expects build/$VX_BUILD (Vuxor.exe, e2e_stress.exe,
# e2e_driver.exe, demo_host.exe; VX_BUILD win32 or win64) and build/native
# (make_samples). Makes its own sandbox prefix and display, unless
# VX_STRESS_PREFIX names a prefix to reuse (the end-to-end tier does; no
# program may run in it, and its drives C:, D: and E: are changed: C: is
# reported as a CD-ROM drive so that a walk covers only the tree on D:).
# Prints the stress program's lines; the last is "stress: sequences N, seed S,
# hangs ..., double walkers ..., lost or reordered lines ...". Exits non-zero
# when a sequence failed.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh

sequences=${1:-30}
seed=${2:-$(( (RANDOM << 15) | RANDOM ))}
vx_use_build "$VX_BUILD" || exit 2
win=${VX_WIN_BUILD:-$top/build/$VX_BUILD}
native=${VX_NATIVE_BUILD:-$top/build/native}
for f in "$win/Vuxor.exe" "$win/tests/e2e/e2e_stress.exe" "$win/tests/e2e/e2e_driver.exe" \
         "$win/tools/win32/demo_host.exe" "$native/tools/make_samples"; do
  [ -f "$f" ] || { echo "stress: missing $f (run scripts/build.sh)"; exit 1; }
done

work=$(mktemp -d /tmp/vx-stress.XXXXXX)
own_prefix=0
if [ -n "${VX_STRESS_PREFIX:-}" ]; then
  pfx=$VX_STRESS_PREFIX
else
  pfx=$work/prefix
  own_prefix=1
fi
cleanup() {
  [ "$own_prefix" = 1 ] && { vx_wine_stop "$pfx"; vx_xvfb_stop; }
  [ "${KEEP:-0}" = 1 ] && echo "stress: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

if [ "$own_prefix" = 1 ]; then
  vx_xvfb_start
  vx_make_prefix "$pfx" || exit 1
fi

# The tree as the worm left it, what a whole scan makes of it, and the walk's
# log lines, all on D: under names the walk passes over.
"$native/tools/make_samples" --out "$work/tree" --letter D --host "$win/tools/win32/demo_host.exe" \
  --features markers,exes,pages,edges,names >/dev/null || exit 1
# A page that holds the frame twice loses one copy per scan; the checks expect
# each repair once, so it stays out.
rm "$work/tree/drive/web/twice.htm" "$work/tree/expected/web/twice.htm"
grep -v '\\web\\twice\.htm ' "$work/tree/walk.txt" > "$work/tree/walk.once" && mv "$work/tree/walk.once" "$work/tree/walk.txt"
cp -a "$work/tree/drive" "$work/pristine"
mv "$work/pristine" "$work/tree/drive/.pristine"
cp -a "$work/tree/expected" "$work/tree/drive/.expected"
cp "$work/tree/walk.txt" "$work/tree/drive/.walk.txt"
files=$(( $(sed -n 's/^files //p' "$work/tree/counts.txt") - 1 ))

vx_wine_stop "$pfx"
rm -f "$pfx/dosdevices/e:" "$pfx/dosdevices/e::" "$pfx/dosdevices/l:" "$pfx/dosdevices/n:"  # the end-to-end tier's other drives
vx_map_drive "$pfx" c "$pfx/drive_c" cdrom
vx_map_drive "$pfx" d "$work/tree/drive"
mkdir -p "$pfx/drive_c/vx"
cp "$win/Vuxor.exe" "$win/tests/e2e/e2e_stress.exe" "$win/tests/e2e/e2e_driver.exe" "$pfx/drive_c/vx/"

vx_wine "$pfx" 'C:\vx\Vuxor.exe' >"$work/vuxor.log" 2>&1 &
vx_wine "$pfx" 'C:\vx\e2e_stress.exe' --sequences "$sequences" --seed "$seed" --files "$files" 2>/dev/null \
  | tr -d '\r'
status=${PIPESTATUS[0]}
vx_wine "$pfx" 'C:\vx\e2e_driver.exe' close >/dev/null 2>&1
vx_wine_stop "$pfx"
exit "$status"
