#!/usr/bin/env bash
# Runs the program on this Linux machine: installs what is missing, builds,
# makes a sandbox Wine prefix with a demo drive D: of harmless infected samples
# (programs, web pages, marker files, autorun.inf and setup.exe at its root)
# and a harmless stand-in for a worm process running as
# C:\windows\system32\drivers\qadrelv.exe, then starts the window.
#
# With a usable $DISPLAY the window opens there: press "全盘杀毒" yourself and
# close the window when done. Without one it runs under Xvfb, presses
# "全盘杀毒" itself, waits for the end, prints the log and saves out/run.png.
# KEEP=1 keeps the prefix and the demo drive (their folder is printed).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
exec </dev/null

bash scripts/setup-machine.sh || { echo "run: setup failed"; exit 1; }
bash scripts/build.sh || { echo "run: build failed"; exit 1; }
. scripts/wine-env.sh

# The program users download is the 32-bit build; a machine that cannot run
# 32-bit code shows the same program built for x86-64 under 64-bit Wine.
if vx_host_runs_32bit; then
  vx_use_build win32
else
  vx_use_build win64
  echo "run: $(vx_host_line | sed 's/^host: //; s/the Wine tiers run on/showing/')"
fi
win=$top/build/$VX_BUILD
work=$(mktemp -d /tmp/vx-run.XXXXXX)
pfx=$work/prefix
mkdir -p out
cleanup() {
  vx_wine_stop "$pfx"
  vx_xvfb_stop
  [ "${KEEP:-0}" = 1 ] && echo "run: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# The display comes first: a Wine session started without one never gets one.
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=0
else
  headless=1
  vx_xvfb_start
fi

echo "run: making a sandbox Wine prefix (no way out to the Linux files) ..."
vx_make_prefix "$pfx" || exit 1
build/native/tools/make_samples --out "$work/demo" --letter D --host "$win/tools/win32/demo_host.exe" \
  --features roots,markers,exes,pages,names
vx_map_drive "$pfx" d "$work/demo/drive"
mkdir -p "$pfx/drive_c/vx" "$pfx/drive_c/.vx-logs"
cp "$win/Vuxor.exe" "$win/tests/e2e/e2e_driver.exe" "$pfx/drive_c/vx/"
cp "$win/tools/win32/dummy_process.exe" "$pfx/drive_c/windows/system32/drivers/qadrelv.exe"

echo "run: demo drive D: before the scan:"
(cd "$work/demo/drive" && find . -type f | sed 's|^\./|  D:/|' | sort)

vx_wine "$pfx" 'C:\windows\system32\drivers\qadrelv.exe' >/dev/null 2>&1 &
if [ "$headless" = 0 ]; then
  echo "run: the window opens on $DISPLAY; press 全盘杀毒, then close the window."
  vx_wine "$pfx" 'C:\vx\Vuxor.exe' >/dev/null 2>&1
else
  vx_wine "$pfx" 'C:\vx\Vuxor.exe' >/dev/null 2>&1 &
  driver() { vx_wine "$pfx" 'C:\vx\e2e_driver.exe' "$@" 2>/dev/null | tr -d '\r'; }
  driver wait-window --timeout 60 >/dev/null || { echo "run: the window did not open"; exit 1; }
  echo "run: pressing 全盘杀毒 (the scan of C: takes 20 to 40 s) ..."
  driver scan --timeout 300 --log 'C:\.vx-logs\run.txt' | grep -E '^(FAIL|panel|edit1)'
  import -display "$DISPLAY" -window root out/run.png && echo "run: screenshot saved to out/run.png"
  echo "run: the log:"
  sed 's/^/  /' "$pfx/drive_c/.vx-logs/run.txt"
  driver close >/dev/null
fi

echo "run: demo drive D: after the scan:"
(cd "$work/demo/drive" && find . -type f | sed 's|^\./|  D:/|' | sort)
if diff -r "$work/demo/expected" "$work/demo/drive" >/dev/null; then
  echo "run: every file of D: is as it should be after a full scan"
else
  echo "run: D: differs from the clean state:"; diff -rq "$work/demo/expected" "$work/demo/drive"
fi
printf 'run: D:\\host.exe now prints: '
vx_wine "$pfx" 'D:\host.exe' 2>/dev/null | tr -d '\r'
