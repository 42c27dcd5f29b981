#!/usr/bin/env bash
# Runs every test tier on a fresh Debian machine: installs what is missing,
# builds both builds (and the sanitizer build), then
#   1. native unit tests over the in-memory machine, plain and under ASan/UBSan;
#   2. the Win32 adapter tests under Wine;
#   3. the end-to-end tests: the real program in a sandbox Wine prefix under Xvfb.
# Ends with one line "tests: N passed, M failed" and a non-zero exit on failure.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mkdir -p out

bash scripts/setup-machine.sh > out/setup.log 2>&1 || { tail -n 40 out/setup.log; echo "setup failed"; exit 1; }
bash scripts/build.sh --asan > out/build.log 2>&1 || { tail -n 60 out/build.log; echo "build failed"; exit 1; }

passed=0; failed=0; tiers_failed=()
# count_gtest LOG: adds a GoogleTest run's case counts to the totals.
count_gtest() {
  local p f
  p=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$1" | grep -Eo '[0-9]+$' | tail -n1)
  f=$(grep -Eo '^\[  FAILED  \] [0-9]+ test' "$1" | grep -Eo '[0-9]+' | tail -n1)
  passed=$((passed + ${p:-0})); failed=$((failed + ${f:-0}))
}
run_tier() {  # run_tier NAME LOG command...
  local name=$1 log=$2; shift 2
  echo "== $name"
  local start=$SECONDS
  "$@" > "$log" 2>&1
  local rc=$?
  grep -E '^\[  (PASSED|FAILED) +\]|^e2e:|FAIL' "$log" | tail -n 30
  echo "-- $name: exit $rc, $((SECONDS - start)) s"
  [ $rc -eq 0 ] || tiers_failed+=("$name")
  return $rc
}

run_tier "native unit tests" out/unit.log build/native/unit_tests --gtest_brief=1; count_gtest out/unit.log
run_tier "native unit tests (ASan, UBSan)" out/unit-asan.log build/asan/unit_tests --gtest_brief=1
run_tier "Win32 adapter tests under Wine" out/win32.log bash scripts/test-win32.sh; count_gtest out/win32.log
if [ -f scripts/test-e2e.sh ]; then
  run_tier "end-to-end under Wine and Xvfb" out/e2e.log bash scripts/test-e2e.sh
  e2e=$(grep -Eo '^e2e: [0-9]+ passed, [0-9]+ failed' out/e2e.log | tail -n1)
  if [ -n "$e2e" ]; then
    ep=$(echo "$e2e" | sed -E 's/^e2e: ([0-9]+) passed.*/\1/')
    ef=$(echo "$e2e" | sed -E 's/.* ([0-9]+) failed$/\1/')
    passed=$((passed + ep)); failed=$((failed + ef))
  fi
fi

if [ ${#tiers_failed[@]} -gt 0 ]; then
  printf 'failed tiers: %s\n' "${tiers_failed[*]}"
  [ "$failed" -gt 0 ] || failed=${#tiers_failed[@]}
fi
echo "tests: $passed passed, $failed failed"
[ ${#tiers_failed[@]} -eq 0 ]
