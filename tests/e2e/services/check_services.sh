#!/usr/bin/env bash
# End-to-end checks of exit, abort and atexit (exit statuses, no handler output, nothing run
# after the call) and of rand's self-seeding (two runs without srand differ).
#   check_services.sh VORNOS_RUN PROGRAM_DIR
set -uo pipefail
runner="$1"
programs="$2"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect_run EXPECTED_STATUS EXPECTED_OUTPUT PROGRAM [ARGS...]
expect_run() {
  local want_status="$1" want_output="$2"
  shift 2
  local output status
  output="$("$runner" "$@" 2>/dev/null; echo "status=$?")"
  status="${output##*status=}"
  output="${output%status=*}"
  if [ "$status" != "$want_status" ]; then
    fail "$* ended with status $status, expected $want_status"
  fi
  if [ "$output" != "$want_output" ]; then
    fail "$* printed $(printf '%q' "$output"), expected $(printf '%q' "$want_output")"
  fi
}

nl=$'\n'
for status in 3 0 1 42 255; do
  expect_run "$status" "before exit$nl" "$programs/exit_program" "$status"
done
expect_run 1 "before abort$nl" "$programs/abort_program"

# An exit call that comes back: _exit halts where it stands (the halt faults in user mode),
# so nothing after the call runs and the fault lies inside _exit itself.
errors="$(mktemp)"
output="$("$runner" --test-hooks "$programs/exit_returns_program" 2>"$errors")"
status=$?
[ "$status" = 139 ] || fail "a returning exit call ended with status $status, expected 139 (SIGSEGV)"
[ "$output" = "before _exit" ] || fail "a returning exit call printed $(printf '%q' "$output")"
eip="$(sed -n 's/^vornos-run: program killed by SIGSEGV at eip 0x\([0-9a-f]*\)$/\1/p' "$errors")"
read -r exit_start exit_size < <(nm -S "$programs/exit_returns_program" | awk '$4 == "_exit" {print $1, $2}')
if [ -z "$eip" ] || [ -z "${exit_start:-}" ] ||
   (( 16#$eip < 16#$exit_start || 16#$eip >= 16#$exit_start + 16#$exit_size )); then
  fail "the fault after a returning exit call is not inside _exit: $(cat "$errors")"
fi
rm -f "$errors"

# rand without srand: eight values in 0..32767, and a second run gives another sequence.
first="$("$runner" "$programs/rand_program")" || fail "rand_program ended with status $?"
second="$("$runner" "$programs/rand_program")" || fail "rand_program ended with status $?"
for run in "$first" "$second"; do
  count=0
  while read -r value; do
    count=$((count + 1))
    if ! [[ "$value" =~ ^[0-9]+$ ]] || [ "$value" -gt 32767 ]; then
      fail "rand gave $(printf '%q' "$value"), outside 0..32767"
    fi
  done <<< "$run"
  [ "$count" = 8 ] || fail "rand_program printed $count values, expected 8"
done
if [ "$first" = "$second" ]; then
  fail "two runs without srand gave the same sequence: $(echo $first)"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "exit, abort, atexit and unseeded rand: all checks passed"
