#!/usr/bin/env bash
# read_only_test with the scratch volume attached --read-only: not one byte of it may change.
# Usage: read_only_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/scratch_volume.sh"
runner=$1
shift
cp "$image" "$scratch/before.img"
"$runner" --read-only --volume "$image" "$@"
cmp -s "$image" "$scratch/before.img" || fail "the read-only volume was written"
fsck_clean
