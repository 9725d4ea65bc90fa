#!/usr/bin/env bash
# Makes the seed disks of the partition table fuzz target in DIR (default: corpus/ beside this script):
# small disks partitioned by sfdisk and sgdisk, and copies with one field broken.
set -euo pipefail
out=${1:-"$(dirname "$0")/corpus"}
export PATH="$PATH:/usr/sbin:/sbin"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/disk-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT

blank() { rm -f "$1"; truncate -s 48K "$1"; }

blank "$work/mbr"
sfdisk --no-reread --no-tell-kernel -q "$work/mbr" >/dev/null <<'END'
label: dos
start=1, size=20, type=c
start=21, size=60, type=5
start=23, size=10, type=b
start=35, size=20, type=1c
start=81, size=10, type=ef
END
cp "$work/mbr" "$out/mbr-primary-and-logical"

blank "$work/gpt"
sgdisk -a 1 -n 1:34:40 -t 1:ef00 -c 1:ESP -n 2:41:50 -t 2:0700 -c 2:DATA -n 3:51:62 -t 3:8300 "$work/gpt" >/dev/null
cp "$work/gpt" "$out/gpt-three-partitions"
# The primary entry array damaged: the backup stands in.
cp "$work/gpt" "$out/gpt-damaged-primary"
printf '\xff' | dd of="$out/gpt-damaged-primary" bs=1 seek=$((2 * 512 + 40)) conv=notrunc status=none
# Both headers damaged: refused.
cp "$out/gpt-damaged-primary" "$out/gpt-damaged-both"
printf '\0' | dd of="$out/gpt-damaged-both" bs=1 seek=$((95 * 512 + 16)) conv=notrunc status=none
