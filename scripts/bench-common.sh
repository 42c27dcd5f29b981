# Helpers of the benchmark scripts (bench-scan.sh, bench-engine.sh). Source it
# after wine-env.sh.
#
#   vx_bench_build                  picks the Windows build as the test tiers do
#   vx_bench_require NAME FILE...   stops when a built file is missing
#   vx_bench_tree OUT LETTER ENTRIES  a sample drive of about ENTRIES entries
#   vx_bench_attributes PREFIX LETTER OUT  read-only, hidden, system flags

# vx_bench_build: the product build where 32-bit code runs, the x86-64 build
# elsewhere; sets VX_BUILD and bench_win (its build folder).
vx_bench_build() {
  local first
  first=$(vx_windows_builds | cut -d' ' -f1)
  vx_use_build "${VX_BUILD_OVERRIDE:-$first}" || return 2
  bench_win=${VX_WIN_BUILD:-$_vx_wine_env_here/build/$VX_BUILD}
}

# vx_bench_require NAME FILE...: the benchmarks build nothing; a missing file
# stops NAME with the command that makes it.
vx_bench_require() {
  local name=$1 f; shift
  for f in "$@"; do
    [ -f "$f" ] || { echo "$name: missing $f (run scripts/build.sh)"; exit 1; }
  done
}

# vx_bench_tree OUT LETTER ENTRIES: writes with make_samples a drive of about
# ENTRIES folder entries ("." and ".." included) into OUT/drive: every sample
# kind of the end-to-end drive (infected programs, web pages, markers, edge
# cases, GBK names, files just under and at 30 MiB, read-only, hidden and
# system files), a web page just under 30 MiB, and for the rest half folders
# as the worm leaves them (nine entries each) and half plain files.
vx_bench_tree() {
  local out=$1 letter=$2 entries=$3
  local base=120  # the fixed samples, about
  local rest=$((entries > base ? entries - base : 0))
  local mix=$((rest / 2 / 9)) bulk=$((rest / 2 * 10 / 11))
  "${VX_NATIVE_BUILD:-$_vx_wine_env_here/build/native}/tools/make_samples" --out "$out" --letter "$letter" \
    --host "$bench_win/tools/win32/demo_host.exe" \
    --features roots,markers,exes,pages,edges,names,big,attrs,bigpage,mix,bulk --mix "$mix" --bulk "$bulk"
}

# vx_bench_attributes PREFIX LETTER OUT: gives the samples listed in
# OUT/attributes.txt their flags the Windows way, on drive LETTER.
vx_bench_attributes() {
  local pfx=$1 letter=$2 out=$3 flags path
  while IFS=$'\t' read -r flags path; do
    vx_wine "$pfx" cmd /c "attrib $flags $letter:\\$path" </dev/null >/dev/null 2>&1
  done < "$out/attributes.txt"
}
