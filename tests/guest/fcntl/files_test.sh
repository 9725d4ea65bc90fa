#!/usr/bin/env bash
# files_test on a scratch volume; then the stream it left unended must have left nothing,
# and fsck must be clean (the volume's own tests judge the files with mtools). Run again
# --read-only, its writes must answer -30 and the image must not change.
# Usage: files_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/scratch_volume.sh"
runner=$1
shift
"$runner" --volume "$image" "$@"
fsck_clean
listing=$(mdir -i "$image" ::/Notes)
if grep -qi unfinished <<<"$listing"; then fail "an unended stream left a file: $listing"; fi

cp "$image" "$scratch/before.img"
if "$runner" --read-only --trace --volume "$image" "$@" >/dev/null 2>"$scratch/trace"; then
  fail "the program's writes succeeded on a read-only volume"
fi
cmp -s "$image" "$scratch/before.img" || fail "--read-only: the image changed"
grep -q '^mkdir("/Mixed Case Dir") = -30 EROFS$' "$scratch/trace" || fail "--read-only: mkdir did not answer -30"
grep -q '^writefile("/Notes/Hello World.txt", .*) = -30 EROFS$' "$scratch/trace" || fail "--read-only: writefile did not answer -30"
