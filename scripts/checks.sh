# The PASS/FAIL lines of the shell test tiers (test-e2e.sh, test-release.sh).
# Source it after setting $work (a scratch folder); counts in $passed, $failed.
passed=0; failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${2:+: $2}"; }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1; shift
  if "$@" > "$work/check.out" 2>&1; then pass "$name"; else fail "$name" "$(head -c 1500 "$work/check.out")"; fi
}
