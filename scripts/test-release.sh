#!/usr/bin/env bash
# Release checks, on the last commit (uncommitted changes are not looked at):
# two temporary clones, tagged v9.8.7 there only, make the release in two
# folders, at two times, as two users (when run as root); the programs and
# the source archives must be byte-identical, and the program from the
# unpacked archive too (no git there). The tag's numbers must be in the
# version resource, the commit's time in the PE header; the program imports
# only KnownDLLs and COMCTL32, with ASLR, DEP and NO_SEH in its header. Then
# a throwaway key and certificate sign a release of a tree with an
# uncommitted change: it must be -dirty, verify against that certificate with
# a SHA-256 digest, give back its unsigned bytes without the signature, and
# start under Wine and show its window: the 32-bit build where 32-bit Wine
# runs, else the 64-bit build through the same signing path (a line says
# which).
#
# Builds only the program, four times, each in a fresh build folder; takes
# libjpeg from VX_DEPS and e2e_driver.exe from build/win32 or build/win64
# (scripts/build.sh). Ends with "release: N passed, M failed".
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh
export VX_DEPS

work=$(mktemp -d /tmp/vx-release.XXXXXX)
chmod 755 "$work"
pfx=$work/prefix
cleanup() {
  vx_wine_stop "$pfx"
  vx_xvfb_stop
  [ "${KEEP:-0}" = 1 ] && echo "test-release: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

. scripts/checks.sh
# same NAME FILE1 FILE2: passes on identical bytes, else says where they differ.
same() {
  if [ -f "$2" ] && [ -f "$3" ] && cmp -s "$2" "$3"; then pass "$1 ($(sha256sum < "$2" | cut -c1-16)...)"; return; fi
  local diffs
  diffs=$(cmp -l "$2" "$3" 2>&1 | head -n 12)
  fail "$1" "$(sha256sum "$2" "$3" 2>&1); bytes that differ (offset, octal values): $diffs"
}
field() { python3 tests/release/pe_info.py "$1" | sed -n "s/^$2=//p"; }  # field PROGRAM NAME

commit=$(git rev-parse HEAD)
echo "test-release: commit $commit"
git clone -q --shared --no-checkout "$top" "$work/a" && git -C "$work/a" checkout -q --detach "$commit" &&
  git -C "$work/a" tag v9.8.7 &&
  git clone -q --shared --no-checkout "$work/a" "$work/second/folder/b" &&
  git -C "$work/second/folder/b" checkout -q --detach "$commit" ||
  { fail "temporary clones"; echo "release: $passed passed, $failed failed"; exit 1; }
epoch=$(git log -1 --format=%ct "$commit")

# release LOG DIR [ARGS...]: the release command in DIR, its output in LOG.
release() { local log=$1 dir=$2; shift 2; (cd "$dir" && bash scripts/release.sh "$@") > "$log" 2>&1; }
# The second build as another user where this runs as root; the builds' own
# length keeps the two apart by many seconds on the clock.
as_other() {
  if [ "$(id -u)" = 0 ]; then
    chown -R 65534:65534 "$work/second"
    setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work/second" "$@"
  else
    "$@"
  fi
}

a=$work/a b=$work/second/folder/b
started_a=$(date +%s)
check "release in $a, tagged v9.8.7" release "$work/a.log" "$a" --source
first=$(head -n 1 "$work/a.log")
check "its first line names the tag's version (\"$first\")" test "$first" = "release: Vuxor 9.8.7"
release_b() { as_other bash -c 'umask 077; cd "$1" && bash scripts/release.sh --source' _ "$b" > "$work/b.log" 2>&1; }
check "release in $b as $( [ "$(id -u)" = 0 ] && echo "user 65534" || echo "the same user"), umask 077, started $(($(date +%s) - started_a)) s later" \
  release_b
exe=Vuxor-9.8.7.exe src=vuxor-9.8.7-src.tar.gz
same "the two programs are byte-identical" "$a/dist/$exe" "$b/dist/$exe"
same "the two source archives are byte-identical" "$a/dist/$src" "$b/dist/$src"
check "SHA256SUMS lists both and matches them" bash -c "cd '$a/dist' && [ \$(wc -l < SHA256SUMS) = 2 ] && sha256sum -c SHA256SUMS"

mkdir -p "$work/unpacked"
tar -xzf "$a/dist/$src" -C "$work/unpacked" 2>/dev/null
check "release from the unpacked source archive (no git)" release "$work/src.log" "$work/unpacked/vuxor-9.8.7"
same "the program from the archive is byte-identical too" "$a/dist/$exe" "$work/unpacked/vuxor-9.8.7/dist/$exe"

version=$(python3 tests/release/pe_info.py "$a/dist/$exe" | grep -E '^(FILEVERSION|PRODUCTVERSION|FileVersion|ProductVersion)=' | tr '\n' ' ')
check "the version resource reads the tag ($version)" \
  test "$version" = "FILEVERSION=9.8.7.0 PRODUCTVERSION=9.8.7.0 FileVersion=9.8.7 ProductVersion=9.8.7 "
stamp=$(field "$a/dist/$exe" timestamp)
check "the PE time stamp is the commit's time ($stamp, commit $epoch), with a checksum that fits" \
  test "$stamp/$(field "$a/dist/$exe" checksum_matches)" = "$epoch/yes"
# What a DLL beside the downloaded program could replace, and the header's
# hardening: only KnownDLLs and COMCTL32 (bound side by side) may be imported.
python3 tests/release/pe_info.py "$a/dist/$exe" | grep -E '^(imports|aslr|high_entropy|dep|no_seh|load_config|safe_seh|dependent)' |
  sed 's/^/  release program: /'
check "it imports only KnownDLLs and COMCTL32 ($(field "$a/dist/$exe" imports))" \
  test -n "$(field "$a/dist/$exe" imports)" -a -z "$(field "$a/dist/$exe" imports_outside_known)"
check "its header asks for ASLR, DEP and NO_SEH" \
  test "$(field "$a/dist/$exe" aslr)/$(field "$a/dist/$exe" dep)/$(field "$a/dist/$exe" no_seh)" = yes/yes/yes
check "no build folder and no home folder in the program" \
  bash -c '! grep -aqF -e "$1" -e "$2" -e "$3" "$4"' _ "$work" "$top" "$HOME/" "$a/dist/$exe"
# libjpeg is built once by the setup, not by these releases: its archive must
# hold no dates, owners or build folders of its own.
jpeg=$VX_DEPS/libjpeg-mingw-i686/lib/libjpeg.a
check "libjpeg's archive keeps no dates, owners or build folder" bash -c \
  '[ -n "$(i686-w64-mingw32-ar tv "$1")" ] && ! i686-w64-mingw32-ar tv "$1" | grep -v " 0/0 .* Jan  1 00:00 1970 " && ! grep -aq libjpeg-src "$1"' _ "$jpeg"

# Signing, on a tree with an uncommitted change; the 32-bit build where it can
# run under Wine here, else the 64-bit one.
if vx_host_runs_32bit; then build=win32 signed_flags=() signed=Vuxor-9.8.7-dirty.exe
else build=win64 signed_flags=(--win64) signed=Vuxor-9.8.7-dirty-win64.exe; fi
vx_use_build "$build"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vuxor test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" > "$work/openssl.log" 2>&1 || fail "a throwaway key" "$(cat "$work/openssl.log")"
echo "A change that is not committed" >> "$a/README.md"
check "signed release of the $build build with an uncommitted change" \
  release "$work/signed.log" "$a" --sign "$work/key.pem" "$work/cert.pem" "${signed_flags[@]}"
check "it is -dirty, with a warning ($(head -n 1 "$work/signed.log"))" \
  bash -c 'head -n 1 "$1" | grep -qx "release: Vuxor 9.8.7-dirty" && grep -q WARNING "$1" &&
           [ "$(python3 tests/release/pe_info.py "$2" | grep -c "^\(File\|Product\)Version=9.8.7-dirty$")" = 2 ]' \
  _ "$work/signed.log" "$a/dist/$signed"
osslsigncode verify -CAfile "$work/cert.pem" -in "$a/dist/$signed" > "$work/verify.log" 2>&1
rc=$?
sed 's/^/  verify: /' "$work/verify.log" | grep -E 'digest algorithm|Subject|Signature verification|Succeeded|Failed|rror'
check "osslsigncode verify passes against the certificate, SHA-256 digest" \
  bash -c '[ "$1" = 0 ] && grep -q "Signature verification: ok" "$2" && grep -qE "^Message digest algorithm *: SHA256" "$2"' _ "$rc" "$work/verify.log"
osslsigncode remove-signature -in "$a/dist/$signed" -out "$work/unsigned.exe" > /dev/null 2>&1
same "without the signature it is the unsigned program" "$a/build/release-$build/Vuxor.exe" "$work/unsigned.exe"

# The signed program under Wine: the window must show.
driver=$top/build/$build/tests/e2e/e2e_driver.exe
echo "test-release: starting the signed $build build under Wine$(vx_host_runs_32bit || echo " ($(vx_host_line | sed 's/^host: //; s/; the Wine tiers.*//'))")"
if [ ! -f "$driver" ]; then
  fail "the signed program shows its window" "missing $driver (run scripts/build.sh)"
else
  vx_xvfb_start
  vx_make_prefix "$pfx" > "$work/prefix.log" 2>&1
  mkdir -p "$pfx/drive_c/vx" && cp "$a/dist/$signed" "$pfx/drive_c/vx/Vuxor.exe" && cp "$driver" "$pfx/drive_c/vx/"
  vx_wine "$pfx" 'C:\vx\Vuxor.exe' > /dev/null 2>&1 &
  window_shown() { vx_wine "$pfx" 'C:\vx\e2e_driver.exe' wait-window --timeout 60 2>/dev/null | tr -d '\r' | grep '^PASS'; }
  check "the signed $build program starts under Wine and shows its window" window_shown
  vx_wine "$pfx" 'C:\vx\e2e_driver.exe' close > /dev/null 2>&1
fi

echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]
