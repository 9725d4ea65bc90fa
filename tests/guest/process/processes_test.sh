#!/usr/bin/env bash
# processes_test on a scratch volume holding the helper program at /helper; then what only
# the runner's own side shows: getkey on the runner's piped input, an input it cannot read,
# trace lines that name their process, a first program whose end ends the child it left
# running, and Ctrl-C.
# Usage: processes_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/../fcntl/scratch_volume.sh"
runner=$1
helper=$(dirname "${*: -1}")/process_helper
mcopy -i "$image" "$helper" ::/helper
"$runner" --volume "$image" "${@:2}"
fsck_clean

[ "$(printf 'k\n' | "$runner" --volume "$image" "$helper" keys 2>&1)" = $'k\n!' ] || fail "getkey on piped input"
# An input the runner cannot read (a directory) fails the program's read; it does not hang the run.
timeout 10 "$runner" --volume "$image" "$helper" wait-stdin </ || fail "a directory as input: status $?"
status=0
# The child waits on the runner's input (a pipe that stays open and empty), beside its parent.
exec 3< <(exec sleep 60)
trap 'kill $! 2>/dev/null; rm -rf "$scratch"' EXIT
"$runner" --trace --timeout 10 --volume "$image" "$helper" leave-child 2>"$scratch/trace" <&3 || status=$?
[ "$status" = 3 ] || fail "leave-child: status $status"
grep -q '^\[pid 1\] spawn("/helper", 0x[0-9a-f]*, 2) = 2$' "$scratch/trace" || fail "trace: $(cat "$scratch/trace")"
# Ctrl-C ends every program of the run: 130, and the volume detached clean.
status=0
timeout --preserve-status -s INT 1 "$runner" --volume "$image" "$helper" hang 2>/dev/null <&3 || status=$?
[ "$status" = 130 ] || fail "hang stopped by SIGINT: status $status"
fsck_clean
