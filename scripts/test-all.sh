#!/usr/bin/env bash
# Runs every test tier on a fresh Debian machine: installs what is missing,
# builds both builds (and the sanitizer build), then
#   1. native unit tests over the in-memory machine, plain and under ASan/UBSan,
#      and each fuzz target for about 20 s;
#   2. the Win32 adapter tests under Wine;
#   3. the end-to-end tests: the real program in a sandbox Wine prefix under Xvfb;
#   4. the release: two folders byte for byte, version resource, test signature;
# tiers 2 and 3 for each Windows build the machine can run: where 32-bit code
# runs, win32 (the download) every tier and win64 its adapter tier and an
# end-to-end smoke run; elsewhere win64 every tier (VX_NO_32BIT=1 forces that).
# Ends with one line "tests: N passed, M failed" and a non-zero exit on failure.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mkdir -p out

bash scripts/setup-machine.sh > out/setup.log 2>&1 || { tail -n 40 out/setup.log; echo "setup failed"; exit 1; }
bash scripts/build.sh --asan > out/build.log 2>&1 || { tail -n 60 out/build.log; echo "build failed"; exit 1; }

passed=0; failed=0; tiers_failed=()
# A GoogleTest run's case counts, from its log.
gtest_passed() { local p; p=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$1" | grep -Eo '[0-9]+$' | tail -n1); echo "${p:-0}"; }
gtest_failed() { local f; f=$(grep -Eo '^\[  FAILED  \] [0-9]+ test' "$1" | grep -Eo '[0-9]+' | tail -n1); echo "${f:-0}"; }
# count_gtest LOG: adds a GoogleTest run's case counts to the totals.
count_gtest() {
  passed=$((passed + $(gtest_passed "$1"))); failed=$((failed + $(gtest_failed "$1")))
}
run_tier() {  # run_tier NAME LOG command...
  local name=$1 log=$2; shift 2
  echo "== $name"
  local start=$SECONDS
  "$@" > "$log" 2>&1
  local rc=$?
  grep -E '^\[  (PASSED|FAILED) +\]|^e2e:|^release: [0-9]|^fuzz:|^[a-z_]+_fuzz:|FAIL' "$log" | tail -n 30
  echo "-- $name: exit $rc, $((SECONDS - start)) s"
  [ $rc -eq 0 ] || tiers_failed+=("$name")
  return $rc
}

run_tier "native unit tests" out/unit.log build/native/unit_tests --gtest_brief=1; count_gtest out/unit.log
run_tier "native unit tests (ASan, UBSan)" out/unit-asan.log build/asan/unit_tests --gtest_brief=1
run_tier "fuzzers (libFuzzer, ASan, UBSan), about 20 s each" out/fuzz.log bash scripts/test-fuzz.sh
fz=$(grep -Eo '^fuzz: [0-9]+ passed, [0-9]+ failed' out/fuzz.log | tail -n1)
fp=$(echo "$fz" | sed -nE 's/^fuzz: ([0-9]+) passed.*/\1/p'); ff=$(echo "$fz" | sed -nE 's/.* ([0-9]+) failed$/\1/p')
passed=$((passed + ${fp:-0})); failed=$((failed + ${ff:-1}))
# The Windows tiers run on every Windows build this machine can run: both
# where 32-bit code runs, the 64-bit one alone where it cannot.
. scripts/wine-env.sh
builds=$(vx_windows_builds)
vx_host_line
build_lines=()
for build in $builds; do
  # A tier that fails without a failed case (it never started) counts as one.
  run_tier "Win32 adapter tests under Wine ($build build)" "out/win32-$build.log" env VX_BUILD="$build" bash scripts/test-win32.sh
  rc=$?; ap=$(gtest_passed "out/win32-$build.log"); af=$(gtest_failed "out/win32-$build.log")
  [ $rc -ne 0 ] && [ "$af" = 0 ] && af=1
  # The first build (the download where it can run) gets every end-to-end
  # check; a second build of the same sources a smoke run of the program.
  smoke=0; [ "$build" = "${builds%% *}" ] || smoke=1
  run_tier "end-to-end under Wine and Xvfb ($build build$([ $smoke = 1 ] && echo ', smoke run'))" \
    "out/e2e-$build.log" env VX_BUILD="$build" E2E_SMOKE=$smoke bash scripts/test-e2e.sh
  rc=$?; e2e=$(grep -Eo '^e2e: [0-9]+ passed, [0-9]+ failed' "out/e2e-$build.log" | tail -n1)
  ep=$(echo "$e2e" | sed -nE 's/^e2e: ([0-9]+) passed.*/\1/p'); ef=$(echo "$e2e" | sed -nE 's/.* ([0-9]+) failed$/\1/p')
  ep=${ep:-0}; ef=${ef:-0}
  [ $rc -ne 0 ] && [ "$ef" = 0 ] && ef=1
  passed=$((passed + ap + ep)); failed=$((failed + af + ef))
  build_lines+=("build $build: adapter $ap passed, $af failed; end-to-end$([ $smoke = 1 ] && echo ' smoke') $ep passed, $ef failed")
done

# Releases: two folders byte for byte, the version resource, a test signature.
run_tier "release (reproducible, versioned, signed)" out/release.log bash scripts/test-release.sh
rc=$?; rel=$(grep -Eo '^release: [0-9]+ passed, [0-9]+ failed' out/release.log | tail -n1)
rp=$(echo "$rel" | sed -nE 's/^release: ([0-9]+) passed.*/\1/p'); rf=$(echo "$rel" | sed -nE 's/.* ([0-9]+) failed$/\1/p')
[ $rc -ne 0 ] && [ "${rf:-0}" = 0 ] && rf=1
passed=$((passed + ${rp:-0})); failed=$((failed + ${rf:-0}))

printf '%s\n' "${build_lines[@]}"
if [ ${#tiers_failed[@]} -gt 0 ]; then
  printf 'failed tiers: %s\n' "${tiers_failed[*]}"
  [ "$failed" -gt 0 ] || failed=${#tiers_failed[@]}
fi
echo "tests: $passed passed, $failed failed"
[ ${#tiers_failed[@]} -eq 0 ]
