# Sourced by the scripts of the file tests: a fresh FAT32 image in a temporary folder that
# goes away with the script, filled with mtools, and the checks made on it afterwards.
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
# 40000 bytes, byte i being i % 251: the program knows every byte without storing them.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i % 251 for i in range(40000)))' >"$scratch/pattern"
mcopy -i "$image" "$scratch/pattern" ::/Pattern.bin

fail() { echo "FAILED: $*" >&2; exit 1; }
fsck_clean() { fsck.fat -n "$image" >"$scratch/fsck" 2>&1 || fail "fsck.fat -n: $(cat "$scratch/fsck")"; }
