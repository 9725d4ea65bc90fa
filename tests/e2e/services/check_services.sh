#!/usr/bin/env bash
# exit, abort and atexit end to end (the status, no handler output, nothing run after the
# call), an exit call that comes back, and rand's self-seeding (two runs differ).
#   check_services.sh VORNOS_RUN SERVICE_PROGRAM
set -uo pipefail
run="$1"
program="$2"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
errors="$(mktemp)"
trap 'rm -f "$errors"' EXIT

# check STATUS OUTPUT ARGUMENT [RUNNER OPTION]
check() {
  local output status
  output="$("$run" ${4:-} "$program" "$3" 2>"$errors")"
  status=$?
  [ "$status" = "$1" ] && [ "$output" = "$2" ] ||
    fail "$3 ended with status $status and printed $(printf '%q' "$output"); expected $1 and $2"
}
for status in 3 0 1 42 255; do check "$status" before "$status"; done
check 1 before abort
# The halt after a returning exit call faults in user mode, inside _exit itself.
check 139 before returning --test-hooks
eip="$(sed -n 's/^vornos-run: program killed by SIGSEGV at eip 0x\([0-9a-f]*\)$/\1/p' "$errors")"
read -r start size < <(nm -S "$program" | awk '$4 == "_exit" {print $1, $2}')
if [ -z "$eip" ] || [ -z "${start:-}" ] || (( 16#$eip < 16#$start || 16#$eip >= 16#$start + 16#$size )); then
  fail "the fault after a returning exit call is not inside _exit: $(cat "$errors")"
fi

first="$("$run" "$program" rand)" || fail "rand ended with status $?"
second="$("$run" "$program" rand)" || fail "rand ended with status $?"
for values in "$first" "$second"; do
  [ "$(grep -cxE '[0-9]+' <<<"$values")" = 8 ] && [ "$(sort -n <<<"$values" | tail -1)" -le 32767 ] ||
    fail "rand gave $(echo $values), not eight values in 0..32767"
done
[ "$first" != "$second" ] || fail "two runs without srand gave the same values: $(echo $first)"
[ "$failures" = 0 ] && echo "exit, abort, atexit and unseeded rand: all checks passed"
