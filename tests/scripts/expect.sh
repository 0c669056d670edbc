# Sourced by the script tests: a scratch folder removed at exit, a failure count, and
# expect NAME STATUS PATTERN command...: the command's exit status and what it says.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect() {
  local name=$1 status=$2 pattern=$3 out got
  shift 3
  out=$("$@" 2>&1); got=$?
  [ "$got" -eq "$status" ] || fail "$name: exit $got, not $status ($out)"
  [[ "$out" == *$pattern* ]] || fail "$name: said \"$out\", not *$pattern*"
}
