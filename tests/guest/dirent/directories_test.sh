#!/usr/bin/env bash
# directories_test on a scratch volume holding a tree that mtools wrote (files dated
# 2021-03-04 05:06:08 by the clock mtools wrote them with); afterwards the subtree its rm -r
# removed must be gone for mtools too, the rest intact, and fsck.fat -n clean.
# Usage: directories_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/../fcntl/scratch_volume.sh"
runner=$1
shift
export TZ=UTC
printf 'hello' >"$scratch/a.txt"
printf 'twelve bytes' >"$scratch/long.txt"
printf 'abc' >"$scratch/b.c"
: >"$scratch/c.h"
touch -d '2021-03-04 05:06:08' "$scratch"/a.txt "$scratch"/long.txt "$scratch"/b.c "$scratch"/c.h
mmd -i "$image" ::/Tree ::/Tree/Sub ::/Tree/Sub/Deeper ::/Tree/Empty ::/Doomed ::/Doomed/Inner
mcopy -m -i "$image" "$scratch/a.txt" ::/Tree/a.txt
mcopy -m -i "$image" "$scratch/long.txt" "::/Tree/Long File Name.txt"
mcopy -m -i "$image" "$scratch/b.c" ::/Tree/Sub/b.c
mcopy -m -i "$image" "$scratch/c.h" ::/Tree/Sub/Deeper/c.h
mcopy -m -i "$image" "$scratch/a.txt" ::/Tree/ro.txt
mattrib -i "$image" +r ::/Tree/ro.txt
for i in 1 2 3 4 5 6 7 8 9; do mcopy -m -i "$image" "$scratch/b.c" "::/Doomed/Inner/File Number $i.c"; done
mcopy -m -i "$image" "$scratch/a.txt" ::/Doomed/top.txt

"$runner" --volume "$image" "$@"
fsck_clean
if mdir -i "$image" ::/Doomed >/dev/null 2>&1; then fail "rm -r left /Doomed behind"; fi
[ "$(mtype -i "$image" ::/Tree/Sub/b.c)" = abc ] || fail "the tree beside the removed one changed"
