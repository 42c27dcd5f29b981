#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan) and runs each,
# one per core at a time, for SECONDS (default 60): scripts/fuzz.sh [SECONDS] [TARGET...]
# Each target starts from its seeds in fuzz/corpus/TARGET and keeps what it
# finds new in build/fuzz/corpus/TARGET; an input that breaks a rule is saved
# in build/fuzz/findings/ and named in the output. Prints one line per target
# and ends with "fuzz: N passed, M failed"; exits non-zero on any finding.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(trailer_fuzz page_cut_fuzz strings_fuzz rewrite_faults_fuzz)
build=${VX_FUZZ_BUILD:-build/fuzz}  # another folder keeps a long run apart from rebuilds
mkdir -p "$build/logs" "$build/findings"

if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON &&
       cmake --build "$build" -j2 --target "${targets[@]}"; } > "$build/logs/build.log" 2>&1; then
  tail -n 30 "$build/logs/build.log"
  echo "fuzz: build failed"
  echo "fuzz: 0 passed, ${#targets[@]} failed"
  exit 1
fi

# fuzz_one TARGET: runs one target; its report goes to $build/logs/TARGET.result.
fuzz_one() {
  local t=$1 work=$build/corpus/$1 log=$build/logs/$1.log rc runs corpus dict=()
  mkdir -p "$work"
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$build/findings/$t-" "$work" "fuzz/corpus/$t" > "$log" 2>&1
  rc=$?
  runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -n1)
  corpus=$(ls "$work" | wc -l)
  if [ $rc -eq 0 ]; then
    echo "$t: ${runs:-?} runs in $seconds s, corpus $corpus, no finding"
  else
    echo "$t: FINDING after ${runs:-?} runs (exit $rc), log $log"
    grep -E '^broken:|^  |ERROR: (Address|Undefined|libFuzzer)|runtime error|Test unit written' "$log" | head -n 12
  fi > "$build/logs/$t.result"
  return $rc
}

rm -f "$build"/logs/*.result
# One target per core at a time: each still gets a whole core for its time.
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n; done
  fuzz_one "$t" &
done
wait
passed=0; failed=0
for t in "${targets[@]}"; do
  cat "$build/logs/$t.result" 2>/dev/null || echo "$t: no report"
  if grep -q 'no finding$' "$build/logs/$t.result" 2>/dev/null; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
