#!/usr/bin/env bash
# files_test on a scratch volume; then mtools must read back what it wrote, with long names
# and today's date, the unfinished stream must have left nothing, and fsck must be clean.
# Usage: files_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/scratch_volume.sh"
runner=$1
shift
"$runner" --volume "$image" "$@"
fsck_clean
[ "$(mtype -i "$image" "::/Notes/Hello World.txt")" = "short" ] || fail "mtype of Hello World.txt"
[ "$(mtype -i "$image" "::/Notes/Streamed Data.txt")" = "part one, part two" ] || fail "mtype of the stream"
listing=$(mdir -i "$image" ::/Notes)
grep -q " $(date +%Y-%m-%d) .*Hello World.txt$" <<<"$listing" || fail "mdir: $listing"
if grep -qi unfinished <<<"$listing"; then fail "an unended stream left a file: $listing"; fi
