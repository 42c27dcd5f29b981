#!/usr/bin/env bash
# End-to-end tests: the real Vuxor.exe in a sandbox Wine prefix under Xvfb,
# worked through its window by tests/e2e/driver.cpp (e2e_driver.exe).
#
# Builds nothing: expects build/$VX_BUILD (Vuxor.exe, e2e_driver.exe, the
# sample programs; VX_BUILD is win32, the default, or win64, the x86-64 build
# under 64-bit Wine) and build/native (make_samples); VX_WIN_BUILD and
# VX_NATIVE_BUILD choose other build folders. Drive E: holds big programs and
# many plain files (a walk that takes a while and can be stopped), D: the
# generated harmless samples, N: infected programs under names that code page
# 936 cannot hold; C: is the prefix's own. "全盘杀毒" is pressed
# four times: one full scan whose every effect is checked, a scan that is
# stopped, and a stop with an immediate restart. Then tests/e2e/scan_races.sh
# (E2E_RACES=0 leaves it out): a pattern typed during a scan, the program's
# end during a rewrite, and E2E_STRESS_SEQUENCES (30) random sequences.
#
# E2E_SMOKE=1 runs the short form for a second build of the same sources:
# start, one full scan with every effect checked (E: small: a few plain files
# instead of the big programs and the bulk), the process sweep, close.
# Both forms then run the window and a small scan in a copy of the prefix on
# code page 1252, as on an English Windows.
#
# Ends with "e2e: N passed, M failed"; exits non-zero on any failure.
# KEEP=1 keeps the temporary folder (prefix, fixtures, logs).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh

vx_use_build "$VX_BUILD" || exit 2
win=${VX_WIN_BUILD:-$top/build/$VX_BUILD}
echo "test-e2e: the $VX_BUILD build ($win)"
native=${VX_NATIVE_BUILD:-$top/build/native}
for f in "$win/Vuxor.exe" "$win/tests/e2e/e2e_driver.exe" "$win/tools/win32/demo_host.exe" \
         "$win/tools/win32/dummy_process.exe" "$native/tools/make_samples"; do
  [ -f "$f" ] || { echo "test-e2e: missing $f (run scripts/build.sh)"; echo "e2e: 0 passed, 1 failed"; exit 1; }
done

work=$(mktemp -d /tmp/vx-e2e.XXXXXX)
pfx=$work/prefix
mkdir -p out
cleanup() {
  vx_wine_stop "$pfx"
  vx_wine_stop "$work/prefix1252"
  vx_xvfb_stop
  [ "${KEEP:-0}" = 1 ] && echo "test-e2e: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

. scripts/checks.sh

# drive ARGS...: one driver command; its PASS/FAIL lines count, the rest is
# kept in $work/driver.out for the script's own checks.
drive() {
  vx_wine "$pfx" 'C:\vx\e2e_driver.exe' "$@" 2>/dev/null | tr -d '\r' > "$work/driver.out"
  grep -E '^(PASS|FAIL) ' "$work/driver.out" | sed "s/^\(PASS\|FAIL\) /&${drive_tag:-}/"
  passed=$((passed + $(grep -c '^PASS ' "$work/driver.out")))
  failed=$((failed + $(grep -c '^FAIL ' "$work/driver.out")))
  ! grep -q '^FAIL ' "$work/driver.out"
}
state() { sed -n "s/^$1=//p" "$work/driver.out"; }  # a value the last driver command printed

# Files a walk examines: every file below the walker's size limit that has no
# "." at the start of its name or of a folder on its way, on C:, D: and E:.
# The limit is read from the walker's own definition.
size_limit=$(sed -n 's/.*kMaxScanFileSize = \([0-9]*\);.*/\1/p' engine/scan_tree.h)
[ -n "$size_limit" ] || { echo "test-e2e: no kMaxScanFileSize in engine/scan_tree.h" >&2; exit 1; }
count_walkable() {
  local d n=0
  for d in "$pfx/drive_c" "$work/d/drive" "$work/e/drive" "$work/n/drive" "$work/l/drive"; do
    # find follows no link: the walk passes over folder links too
    n=$((n + $(cd "$d" && find . -type f ! -path '*/.*' -size "-${size_limit}c" | wc -l)))
  done
  echo "$n"
}

shot() {  # shot NAME: screenshot of the whole screen into out/NAME.png
  import -display "$DISPLAY" -window root "out/$1.png" 2>/dev/null && echo "screenshot: out/$1.png"
}

start=$SECONDS
export -f vx_wine vx_wine_env _vx_loader _vx_server   # for the checks run by bash -c
export _vx_wine_env_here _vx_wine64_dir VX_BUILD VX_DEPS

# plant_roots: autorun.inf and setup.exe at the roots of E:, D: and C:, some
# of them read-only, hidden and system as the worm leaves them.
plant_roots() {
  local root
  for root in "$work/e/drive" "$work/d/drive" "$pfx/drive_c"; do
    printf '[AutoRun]\r\nopen=setup.exe\r\n' > "$root/autorun.inf"; printf 'MZ' > "$root/setup.exe"
  done
  vx_wine "$pfx" cmd /c 'attrib +h +r C:\autorun.inf & attrib +h +s +r D:\setup.exe' </dev/null >/dev/null 2>&1
}
root_lines() {  # the six lines of one root cleanup, E: first
  local d
  for d in E D C; do printf '%s:\\autorun.inf 删除成功!\n%s:\\setup.exe 删除成功!\n' "$d" "$d"; done
}
roots_gone() {
  test ! -e "$work/e/drive/autorun.inf" -a ! -e "$work/d/drive/setup.exe" -a ! -e "$pfx/drive_c/autorun.inf" \
    -a ! -e "$pfx/drive_c/setup.exe"
}

# --- the window at 125, 150 and 200 % -------------------------------------
# scaled_layouts: once the program of the main tests has closed, one start per
# scale (the prefix's LogPixels), on a screen that holds the window at 192 dpi;
# the layout must be the table times the scale; a screenshot at 144 dpi. Then
# the prefix is back at 96 dpi, on the main display.
scaled_layouts() {
  local dpi display=$DISPLAY xvfb=$vx_xvfb_pid
  vx_xvfb_start 2048x1536
  for dpi in 120 144 192; do
    vx_set_dpi "$pfx" "$dpi"
    vx_wine "$pfx" 'C:\vx\Vuxor.exe' >"$work/vuxor-$dpi.log" 2>&1 &
    echo "the window at $dpi dpi:"
    drive wait-window --timeout 60 && drive layout --dpi "$dpi"
    [ "$dpi" != 144 ] || { sleep 0.5; shot window-144dpi; }
    drive close
  done
  vx_xvfb_stop
  export DISPLAY=$display; vx_xvfb_pid=$xvfb
  vx_set_dpi "$pfx" 96
}

# --- the display: first, since a Wine session that starts without one never
# gets one (its desktop process lives as long as the session) ---------------
vx_xvfb_start

# --- the sandbox --------------------------------------------------------
# The samples are made while Wine makes the prefix.
"$native/tools/make_samples" --out "$work/d" --letter D --host "$win/tools/win32/demo_host.exe" \
  --features "${E2E_FEATURES:-roots,markers,exes,pages,edges,names,big,attrs}" >/dev/null &
samples=$!
e_features=(--features slow,bulk); [ "${E2E_SMOKE:-0}" = 1 ] && e_features=(--features bulk --bulk 20)
"$native/tools/make_samples" --out "$work/e" --letter E --host "$win/tools/win32/demo_host.exe" \
  "${e_features[@]}" >/dev/null &
samples+=" $!"
vx_make_prefix "$pfx" || { echo "e2e: 0 passed, 1 failed"; exit 1; }
cp -a "$pfx" "$work/prefix1252"   # fresh, with its font mapping, for the code page 1252 run

# --- no DLL planted beside the program is loaded --------------------------
# Started from a folder anyone can write to, beside a DLL under the name of
# every library the program names (its imports among them), each name that
# is no KnownDLL ordered native first, as Windows orders it (a KnownDLL
# always comes from the system; Wine would take it from beside the program):
# none may be loaded (a loaded one leaves NAME.dll.loaded), and the program
# must still work. Before D: and E: are there, so its full scan walks C: alone.
downloads=$pfx/drive_c/users/Public/Downloads
mkdir -p "$downloads" "$pfx/drive_c/vx" "$pfx/drive_c/.vx-logs"
cp "$win/Vuxor.exe" "$downloads/" && cp "$win/tests/e2e/e2e_driver.exe" "$pfx/drive_c/vx/"
planted=$({ strings -a "$win/Vuxor.exe"; strings -a -el "$win/Vuxor.exe"; } | grep -oiE '[a-z0-9_-]+\.dll' | tr A-Z a-z | sort -u)
for dll in $planted; do cp "$win/tools/win32/planted.dll" "$downloads/$dll" || fail "plant $dll"; done
native_first=$(grep -vxiFf <(python3 tests/release/pe_info.py --known-dlls) <<<"$planted" | sed 's/\.dll$//' | paste -sd,)
( vx_wine_env; export WINEPREFIX=$pfx WINEDLLOVERRIDES="$WINEDLLOVERRIDES${native_first:+;$native_first=n,b}"
  cd "$downloads" && exec "$(_vx_loader)" 'C:\users\Public\Downloads\Vuxor.exe' ) > "$work/planted.log" 2>&1 &
root_cleaned() { grep -qx 'C:\\autorun.inf 删除成功!' "$pfx/drive_c/.vx-logs/$1"; }
printf '[AutoRun]\r\n' > "$pfx/drive_c/autorun.inf"
drive wait-window --timeout 60 && drive scan --timeout 300 --log 'C:\.vx-logs\planted-scan.txt'
check "started beside planted DLLs, the full scan deletes C:\\autorun.inf" root_cleaned planted-scan.txt
printf '[AutoRun]\r\n' > "$pfx/drive_c/autorun.inf"
drive clear-log --log 'C:\.vx-logs\planted-cleared.txt'
check "started beside planted DLLs, 清空日志 deletes C:\\autorun.inf" root_cleaned planted-cleared.txt
drive close
loaded=$(cd "$pfx" && find . -name '*.dll.loaded' | tr '\n' ' ')
check "none of the $(wc -w <<<"$planted") DLLs planted beside it is loaded ($(echo $planted); native first: $native_first)${loaded:+; loaded: $loaded}" test -z "$loaded" -a -n "$planted"
rm -f "$downloads"/* "$pfx/drive_c/.vx-logs"/planted-*
for job in $samples; do wait "$job" || { echo "test-e2e: make_samples failed"; echo "e2e: 0 passed, 1 failed"; exit 1; }; done
vx_map_drive "$pfx" d "$work/d/drive"
vx_map_drive "$pfx" e "$work/e/drive"
# N: Greek with accents, Korean and an emoji, in the order they are listed:
# the infected program of 中文目录 under each name, the host program after.
for f in 'Ελλάδα/πρόγραμμα.exe' '한국/감염.exe' '😀.exe'; do
  mkdir -p "$work/n/drive/$(dirname "$f")" "$work/n/expected/$(dirname "$f")"
  cp "$work/d/drive/中文目录/病毒样本.exe" "$work/n/drive/$f"; cp "$win/tools/win32/demo_host.exe" "$work/n/expected/$f"
  printf 'N:\\%s还原成功!\n' "${f//\//\\}" >> "$work/n/walk.txt"
done
vx_map_drive "$pfx" n "$work/n/drive"
# L: stays empty until the scan with folder links; it keeps an infected program for it.
mkdir -p "$work/l/drive"; cp "$work/d/drive/games/play.exe" "$work/l/play.exe"
vx_map_drive "$pfx" l "$work/l/drive"
# Read-only, hidden and system samples get their attributes the Windows way,
# all in one command prompt.
attribs=$(while IFS=$'\t' read -r flags path; do printf 'attrib %s D:\\%s & ' "$flags" "$path"; done \
  < "$work/d/attributes.txt")
[ -z "$attribs" ] || vx_wine "$pfx" cmd /c "${attribs% & }" </dev/null >/dev/null 2>&1
mkdir -p "$pfx/drive_c/vx"
# The driver writes what it reads to C:\.vx-logs; the walk passes over dot folders.
logs=$pfx/drive_c/.vx-logs
mkdir -p "$logs"
cp "$win/Vuxor.exe" "$win/tests/e2e/e2e_driver.exe" "$pfx/drive_c/vx/"
drivers="$pfx/drive_c/windows/system32/drivers"
cp "$win/tools/win32/dummy_process.exe" "$drivers/qadrelv.exe"
cp "$win/tools/win32/dummy_process.exe" "$drivers/MKZBR48.EXE"
cp "$win/tools/win32/dummy_process.exe" "$pfx/drive_c/vx/xqadrelv.exe"   # a name that only looks alike
showall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Advanced\Folder\Hidden\SHOWALL'
# The worm leaves the value as text; the scan must store it as a number.
vx_wine "$pfx" reg add "$showall" /v CheckedValue /t REG_SZ /d 0 /f >/dev/null 2>&1

# --- the programs -------------------------------------------------------
vx_wine "$pfx" 'C:\windows\system32\drivers\qadrelv.exe' >/dev/null 2>&1 &
vx_wine "$pfx" 'C:\windows\system32\drivers\MKZBR48.EXE' >/dev/null 2>&1 &
vx_wine "$pfx" 'C:\vx\xqadrelv.exe' >/dev/null 2>&1 &
vx_wine "$pfx" 'C:\vx\Vuxor.exe' >"$work/vuxor.log" 2>&1 &
drive wait-window --timeout 60 || { echo "e2e: $passed passed, $failed failed"; exit 1; }

# --- the window as it starts --------------------------------------------
drive layout
sleep 0.5; shot window-start
drive dump --log 'C:\.vx-logs\notice.txt'
default=$(state edit2)   # the pattern the window starts with

# --- one full scan, every effect checked --------------------------------
printf '[AutoRun]\r\n' > "$pfx/drive_c/autorun.inf"; printf 'MZ' > "$pfx/drive_c/setup.exe"
vx_wine "$pfx" cmd /c 'attrib +h +r C:\autorun.inf' </dev/null >/dev/null 2>&1
drive scan --timeout 300 --log 'C:\.vx-logs\scan.txt'
shot window
scanned=$(state panel1); cleaned=$(state panel2)
walkable=$(count_walkable)
restored=$(( $(sed -n 's/^restored //p' "$work/d/counts.txt") + $(grep -c '' "$work/n/walk.txt") ))
check "full scan counts every walkable file of C:, D:, E: and N: ($walkable)" test "$scanned" = "扫描文件数:$walkable"
check "full scan counts the restored executables ($restored)" test "$cleaned" = "已清除文件数:$restored"

# The log: the notice, then the root cleanup, the process sweep, the walk.
tail -n +"$(( $(grep -c '' "$logs/notice.txt") + 1 ))" "$logs/scan.txt" > "$work/scan-lines.txt"
check "the log keeps the notice above the scan's lines" cmp -n "$(wc -c < "$logs/notice.txt")" "$logs/notice.txt" "$logs/scan.txt"
grep -v '^扫描进程:' "$work/scan-lines.txt" | grep -Ev '^(关闭木马进程:|N:|.* 删除成功!$)' > "$work/got-rest.txt"
grep -Ev ' 删除成功!$' "$work/d/walk.txt" > "$work/want-rest.txt"
check "log lines of the walk (restores and pages), in walk order" diff "$work/want-rest.txt" "$work/got-rest.txt"
grep -E ' 删除成功!$' "$work/scan-lines.txt" | grep -Ev '^(qadrelv|MKZBR48)' > "$work/got-deleted.txt"
cat "$work/e/roots.txt" "$work/d/roots.txt" <(printf 'C:\\autorun.inf 删除成功!\nC:\\setup.exe 删除成功!\n') \
  <(grep -E ' 删除成功!$' "$work/d/walk.txt") > "$work/want-deleted.txt"
check "start-up files at the roots, then markers in walk order, are deleted and logged" \
  diff "$work/want-deleted.txt" "$work/got-deleted.txt"
sweep_ok() {  # the three lines of one killed process follow each other
  grep -A2 -x "扫描进程:$1" "$work/scan-lines.txt" | head -n 3 | diff - <(printf '扫描进程:%s\n关闭木马进程:%s\n%s 删除成功!\n' "$1" "$1" "$1")
}
check "sweep: qadrelv.exe is ended and its file deleted" sweep_ok qadrelv.exe
check "sweep: MKZBR48.EXE is ended and its file deleted, named as it runs" sweep_ok MKZBR48.EXE
check "sweep: a look-alike name is listed and left running" \
  bash -c 'grep -qx "扫描进程:xqadrelv.exe" "$1" && ! grep -q "关闭木马进程:xqadrelv" "$1"' _ "$work/scan-lines.txt"
check "sweep: the worm program files are gone from the drivers folder" \
  test ! -e "$drivers/qadrelv.exe" -a ! -e "$drivers/MKZBR48.EXE"
check "every file of D: and E: holds its expected bytes" \
  bash -c 'diff -r "$1/d/expected" "$1/d/drive" && diff -r "$1/e/expected" "$1/e/drive"' _ "$work"
check "names outside code page 936: each infected program of N: is the host again, logged under its own name" \
  bash -c 'diff -r "$1/expected" "$1/drive" && grep "^N:" "$2" | diff "$1/walk.txt" -' _ "$work/n" "$work/scan-lines.txt"
attributes_kept() {  # samples left alone keep their read-only, hidden and system flags
  local flags path line f listing=
  while IFS=$'\t' read -r flags path; do
    [ -e "$work/d/drive/${path//\\//}" ] && listing+="attrib D:\\$path & "
  done < "$work/d/attributes.txt"
  [ -n "$listing" ] || return 0
  listing=$(vx_wine "$pfx" cmd /c "${listing% & }" </dev/null 2>/dev/null | tr -d '\r')
  while IFS=$'\t' read -r flags path; do
    [ -e "$work/d/drive/${path//\\//}" ] || continue
    line=$(grep -iF -- "D:\\$path" <<<"$listing" | head -n 1)
    [ -n "$line" ] || { echo "attrib did not list D:\\$path"; return 1; }
    for f in $flags; do
      f=${f#+}
      case "${line%%D:*}" in *"${f^^}"*) ;; *) echo "$path lost +$f: $line"; return 1 ;; esac
    done
  done < "$work/d/attributes.txt"
}
check "read-only, hidden and system samples keep their attributes" attributes_kept
check "a restored program runs: demo host prints its line" \
  bash -c 'vx_wine "$1" "D:\\host.exe" 2>/dev/null | tr -d "\r" | grep -qx "demo host program ran"' _ "$pfx"
check "registry: SHOWALL CheckedValue is REG_DWORD 1, also when it was text before" \
  bash -c 'vx_wine "$1" reg query "$2" /v CheckedValue 2>/dev/null | tr -d "\r" | grep -Eq "CheckedValue +REG_DWORD +0x1$"' _ "$pfx" "$showall"

# --- a folder with two links back to itself ------------------------------
# Wine lists a Unix link to a folder with the reparse-point attribute and no
# tag. Walked into, two such links double the folders at every level; passed
# over, each file is examined once and the program below them is restored
# once, under its own path.
loop=$work/l/drive/loop
mkdir -p "$loop/deep" && ln -s . "$loop/a" && ln -s . "$loop/b"
cp "$work/l/play.exe" "$loop/deep/play.exe"
printf 'plain\r\n' > "$loop/plain.txt"
links_start=$SECONDS
drive scan --timeout "${E2E_LINKS_TIMEOUT:-300}" --log 'C:\.vx-logs\links.txt'
echo "e2e: the scan with two folder links took $((SECONDS - links_start)) s"
walkable=$(count_walkable)
check "links: the scan examines each file once ($walkable)" test "$(state panel1)" = "扫描文件数:$walkable"
check "links: the program below them is restored once, under its own path" bash -c \
  'test "$(grep -c "^L:.*还原成功!$" "$1")" = 1 && grep -qxF "L:\loop\deep\play.exe还原成功!" "$1" && cmp "$2" "$3"' \
  _ "$logs/links.txt" "$loop/deep/play.exe" "$work/d/expected/games/play.exe"

# --- code page 1252, as on an English Windows -----------------------------
# The copy of the fresh prefix runs under the en_US locale, C: counted as a
# CD-ROM drive so that the walk covers only a small D: with Chinese names.
# Every text is read through the wide messages and reads as on code page 936.
p1252=$work/prefix1252
on1252() { VX_WINE_LOCALE=en_US.UTF-8 pfx=$p1252 drive_tag='code page 1252: ' "$@"; }
"$native/tools/make_samples" --out "$work/w" --letter D --host "$win/tools/win32/demo_host.exe" \
  --features roots,markers,names >/dev/null
on1252 vx_map_drive "$p1252" c "$p1252/drive_c" cdrom
on1252 vx_map_drive "$p1252" d "$work/w/drive"
mkdir -p "$p1252/drive_c/vx" "$p1252/drive_c/.vx-logs"
cp "$win/Vuxor.exe" "$win/tests/e2e/e2e_driver.exe" "$p1252/drive_c/vx/"
on1252 vx_wine "$p1252" 'C:\vx\Vuxor.exe' >"$work/vuxor-1252.log" 2>&1 &
if on1252 drive wait-window --timeout 60; then
  on1252 drive layout
  on1252 drive dump --log 'C:\.vx-logs\notice.txt'
  check "code page 1252: the notice and Edit2's pattern read as on 936" \
    bash -c 'cmp "$1" "$2" && test "$3" = "$4"' _ "$p1252/drive_c/.vx-logs/notice.txt" "$logs/notice.txt" \
    "$(state edit2)" "$default"
  on1252 drive scan --timeout 120 --log 'C:\.vx-logs\scan.txt'
  shot window-1252
  check "code page 1252: every file of D: as expected, the lines of the root cleanup and the walk read right" \
    bash -c 'diff -r "$1/expected" "$1/drive" && tail -n +"$3" "$2" | grep -Ev "^(扫描进程|关闭木马进程):" |
      diff <(cat "$1/roots.txt" "$1/walk.txt") -' _ "$work/w" "$p1252/drive_c/.vx-logs/scan.txt" \
    "$(( $(grep -c '' "$logs/notice.txt") + 1 ))"
  on1252 drive close
fi
vx_wine_stop "$p1252"

if [ "${E2E_SMOKE:-0}" = 1 ]; then
  drive close
  scaled_layouts
  echo "e2e: smoke run (start, full scan, sweep, close) took $((SECONDS - start)) s"
  echo "e2e: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]; exit
fi

# --- "清空日志" and "停止杀毒" outside a scan: both clean the drive roots --
plant_roots
drive clear-log --log 'C:\.vx-logs\cleared.txt'
cleared_ok() { diff <(root_lines) "$logs/cleared.txt" && roots_gone; }
check "清空日志 empties the log, then cleans the roots of E:, D: and C:" cleared_ok
plant_roots
drive stop --log 'C:\.vx-logs\stopped-idle.txt'
stopped_ok() { diff <(root_lines) <(tail -n 6 "$logs/stopped-idle.txt") && roots_gone; }
check "停止杀毒 with no scan running still cleans the roots of E:, D: and C:" stopped_ok

# --- a stop during the walk, then a stop with an immediate restart --------
drive stop-during-scan --after-files 40 --expect-files "$walkable" --timeout 120
# A pattern typed into Edit2 is what the next scan cuts out of pages.
typed='<iframe src=http://other.invalid/x.htm width=0 height=0></iframe>'
mkdir -p "$work/d/drive/web2"
printf 'A%sB' "$typed" > "$work/d/drive/web2/typed.htm"
printf 'A%sB' "$default" > "$work/d/drive/web2/default.htm"
drive set-pattern "$typed"
# The stop comes while the walk reads the big programs of E:\a_slow, so the
# stopped walk is still busy when the new scan starts. Any of the five will
# do: the window shows the current file at most every 50 ms, so one read may
# pass unseen.
drive start-after-stop --after-files 1 --at-file 'a_slow\' --expect-files "$(count_walkable)" --timeout 300 --log 'C:\.vx-logs\restart.txt'
shot window-end
check "the typed pattern is cut from pages, the default one no longer" bash -c \
  'test "$(cat "$1/typed.htm")" = AB && test "$(cat "$1/default.htm")" = "A${2}B" && grep -qx "D:.web2.typed.htm 网页还原成功!" "$3"' \
  _ "$work/d/drive/web2" "$default" "$logs/restart.txt"

# --- closing ends the program -------------------------------------------
drive close
scaled_layouts

# --- typing during a scan, the end during a rewrite, the stress run ------
[ "${E2E_RACES:-1}" = 1 ] && . tests/e2e/scan_races.sh

echo "e2e: took $((SECONDS - start)) s"
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
