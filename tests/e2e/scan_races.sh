# The scan under pressure, sourced by scripts/test-e2e.sh once the program of
# the main tests has closed: a pattern typed into Edit2 key by key during a
# scan, the program's end while a rewrite is half done, and the stress run.
# Uses the prefix $pfx, the work folder $work, the builds $win and $native and
# the helpers drive, state, check, pass and fail of test-e2e.sh.
#
# From here on C: is reported as a CD-ROM drive and E:, L: and N: are gone, so that
# a walk covers only the small tree on D:.

races=$work/races
mkdir -p "$races/drive"
vx_wine_stop "$pfx"
rm -f "$pfx/dosdevices/e:" "$pfx/dosdevices/e::" "$pfx/dosdevices/l:" "$pfx/dosdevices/n:"
vx_map_drive "$pfx" c "$pfx/drive_c" cdrom
vx_map_drive "$pfx" d "$races/drive"
cp "$win/tests/e2e/VuxorHeldDisk.exe" "$pfx/drive_c/vx/"

# --- typing into Edit2 during a scan ------------------------------------
# Each page holds the new frame, then the old one. A page cut with the old
# pattern keeps the new frame; one cut with the new pattern keeps the old
# frame; a cut with a piece of a pattern still being typed leaves neither.
old_frame=$default
new_frame='<iframe src=http://typed.invalid/late.htm width=0 height=0></iframe>'
mkdir -p "$races/drive/typing"
for i in $(seq -w 0 299); do printf 'A%sB%sC' "$new_frame" "$old_frame" > "$races/drive/typing/p0$i.htm"; done
vx_wine "$pfx" 'C:\vx\Vuxor.exe' >"$work/vuxor-typing.log" 2>&1 &
drive wait-window --timeout 60
drive type-pattern-during-scan "$new_frame" --folder '\typing\' --timeout 120
first_key_at=$(state first_key_at); enter_at=$(state enter_at)
drive dump --log 'C:\.vx-logs\typing.txt'
drive close
# Old cuts, then new cuts, in walk order, and no page cut with a piece of a
# pattern. The driver has checked that the keys fell on pages of the walk.
pages_cut_whole() {
  local page got seen_new=0 old=0 new=0
  for page in "$races/drive/typing"/*.htm; do
    got=$(cat "$page")
    if [ "$got" = "A${new_frame}BC" ]; then
      [ $seen_new = 1 ] && { echo "$(basename "$page") cut with the old pattern after the new one"; return 1; }
      old=$((old + 1))
    elif [ "$got" = "AB${old_frame}C" ]; then
      seen_new=1; new=$((new + 1))
    else
      echo "$(basename "$page") was cut with a pattern half typed: $got"; return 1
    fi
  done
  echo "$old pages cut with the old pattern, $new with the typed one (keys from $first_key_at to $enter_at)"
  [ "$old" -gt 0 ] && [ "$new" -gt 0 ]
}
check "typing into Edit2 during a scan: every page cut whole, the old pattern until Enter, then the new one" \
  pages_cut_whole
check "typing into Edit2 during a scan: each of the 300 pages logged once" \
  test "$(grep -c '^D:\\typing\\p0[0-9]*\.htm 网页还原成功!$' "$pfx/drive_c/.vx-logs/typing.txt")" = 300
rm -rf "$races/drive/typing"

# --- the program's end while a rewrite is half done --------------------------
# VuxorHeldDisk.exe stalls the rewrite of held.exe after its first 1 MiB
# write until the driver lets it go on, as a slow drive would. The window is
# closed, then a WM_QUIT from outside ends the message loop: both wait.
head -c $((3 * 1048576)) /dev/urandom > "$races/host.bin"
{ printf 'MZworm body'; cat "$races/host.bin"; printf '\0QmTezQMTEZ\002%s\001' "$(stat -c %s "$races/host.bin")"; } \
  > "$races/held.orig"
mkdir -p "$races/drive/held"
for ending in close quit; do
  cp "$races/held.orig" "$races/drive/held/held.exe"
  vx_wine "$pfx" 'C:\vx\VuxorHeldDisk.exe' >"$work/vuxor-held.log" 2>&1 &
  drive wait-window --timeout 60
  drive hold-rewrite-and-close --by $ending --timeout 60
  check "held rewrite ($ending): held.exe is half written while the program waits" \
    bash -c '! cmp -s "$1" "$2" && ! cmp -s "$1" "$3"' _ "$races/drive/held/held.exe" "$races/held.orig" "$races/host.bin"
  drive release-held-rewrite --timeout 60
  check "held rewrite ($ending): after the program's end held.exe is the whole host program, byte for byte" \
    cmp "$races/drive/held/held.exe" "$races/host.bin"
done

# --- the stress run ------------------------------------------------------
VX_STRESS_PREFIX=$pfx scripts/stress.sh "${E2E_STRESS_SEQUENCES:-30}" ${E2E_STRESS_SEED:-} > "$work/stress.out" 2>&1
stress_status=$?
summary=$(grep '^stress: sequences' "$work/stress.out")
if [ "$stress_status" = 0 ] && [ -n "$summary" ]; then
  pass "$summary"
else
  fail "stress run" "$(grep -A4 -E '^FAIL|^stress: missing' "$work/stress.out" | head -c 1500) ${summary}"
fi
