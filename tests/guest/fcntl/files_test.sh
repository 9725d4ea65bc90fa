#!/usr/bin/env bash
# files_test on a scratch volume; then mtools must read back what it wrote, with long names
# and today's date, the stream it left unended must have left nothing, and fsck must be
# clean. Run again --read-only, its writes must answer -30 and the image must not change.
# Usage: files_test.sh VORNOS_RUN [OPTIONS] PROGRAM
set -euo pipefail
export MTOOLS_SKIP_CHECK=1 PATH="$PATH:/usr/sbin:/sbin"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
image=$scratch/volume.img
# 33 MiB with one sector per cluster: the smallest FAT32 that mtools and fsck accept, and
# files of a few hundred bytes already span several clusters.
mkfs.fat -C -F 32 -s 1 -i 1234ABCD "$image" 34000 >/dev/null
mmd -i "$image" ::/Docs
printf 'hello from mtools\n' >"$scratch/Read Me.txt"
mcopy -i "$image" "$scratch/Read Me.txt" "::/Docs/Read Me.txt"
mcopy -i "$image" "$scratch/Read Me.txt" ::/Docs/Locked.txt
mattrib -i "$image" +r ::/Docs/Locked.txt
# 40000 bytes, byte i being i % 251: the program knows every byte without storing them.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i % 251 for i in range(40000)))' >"$scratch/pattern"
mcopy -i "$image" "$scratch/pattern" ::/Pattern.bin

fail() { echo "FAILED: $*" >&2; exit 1; }
fsck_clean() { fsck.fat -n "$image" >"$scratch/fsck" 2>&1 || fail "fsck.fat -n: $(cat "$scratch/fsck")"; }
runner=$1
shift
"$runner" --volume "$image" "$@"
fsck_clean
[ "$(mtype -i "$image" "::/Notes/Hello World.txt")" = "short" ] || fail "mtype of Hello World.txt"
[ "$(mtype -i "$image" "::/Notes/Streamed Data.txt")" = "part one, part two" ] || fail "mtype of the stream"
listing=$(mdir -i "$image" ::/Notes)
grep -q " $(date +%Y-%m-%d) .*Hello World.txt$" <<<"$listing" || fail "mdir: $listing"
if grep -qi unfinished <<<"$listing"; then fail "an unended stream left a file: $listing"; fi

cp "$image" "$scratch/before.img"
if "$runner" --read-only --trace --volume "$image" "$@" >/dev/null 2>"$scratch/trace"; then
  fail "the program's writes succeeded on a read-only volume"
fi
cmp -s "$image" "$scratch/before.img" || fail "--read-only: the image changed"
grep -q '^mkdir("/Mixed Case Dir") = -30 EROFS$' "$scratch/trace" || fail "--read-only: mkdir did not answer -30"
grep -q '^writefile("/Notes/Hello World.txt", .*) = -30 EROFS$' "$scratch/trace" || fail "--read-only: writefile did not answer -30"
