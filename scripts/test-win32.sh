#!/usr/bin/env bash
# Runs the Win32 adapter tests under Wine in a fresh sandbox prefix (no X
# needed). Extra drives are mapped with types so that the tests can check that
# the prefix's drive table reaches GetDriveTypeA.
#   scripts/test-win32.sh [path/to/win32_tests.exe] [gtest arguments...]
# VX_BUILD=win64 tests the x86-64 build under 64-bit Wine (default win32).
# With VX_TEST_UID=65534 (as root) the tests run as that unprivileged user.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh"

vx_use_build "$VX_BUILD"
exe=$top/build/$VX_BUILD/win32_tests.exe
if [ $# -gt 0 ] && [[ "$1" == *.exe ]]; then exe=$(readlink -f "$1"); shift; fi
[ -f "$exe" ] || { echo "test-win32: $exe not built (scripts/build.sh)" >&2; exit 2; }

work=$(mktemp -d /tmp/vx-win32-tests.XXXXXX)
prefix=$work/prefix
cleanup() { vx_wine_stop "$prefix"; rm -rf "$work"; }
trap cleanup EXIT

start=$(date +%s)
vx_make_prefix "$prefix"
vx_map_drive "$prefix" n "$work/drive-n" network
vx_map_drive "$prefix" r "$work/drive-r" floppy
vx_map_drive "$prefix" f "$work/drive-f" cdrom
vx_map_drive "$prefix" d "$work/drive-d"
cp "$exe" "$prefix/drive_c/win32_tests.exe"
# Outside every drive: a test walks C: and must never meet it.
sentinel=vx-outside-$$.txt
echo outside > "$work/$sentinel"
if [ -n "${VX_TEST_UID:-}" ]; then
  chmod 755 "$work"
  vx_prefix_owner "$prefix" "$VX_TEST_UID" "$work"/drive-*
  export VX_WINE_UID=$VX_TEST_UID
fi
echo "test-win32: $VX_BUILD build, prefix ready in $(( $(date +%s) - start )) s"

set +e
VX_SENTINEL=$sentinel VX_EXPECT_DRIVES="N4R2F5D3Z1" vx_wine "$prefix" 'C:\win32_tests.exe' --gtest_brief=1 "$@" </dev/null >"$work/out.txt" 2>&1
rc=$?
set -e
# Wine's own chatter aside, show failures and the summary.
tr -d '\r' <"$work/out.txt" | grep -v -e '^wine: ' -e '^\[ *\(RUN\|OK\) ' || true
[ "$rc" = 0 ] && grep -q '^\[  PASSED  \]' "$work/out.txt" || { echo "test-win32: FAILED (exit $rc)" >&2; exit 1; }
echo "test-win32: passed in $(( $(date +%s) - start )) s"
