#!/usr/bin/env bash
# volume_streams_test on a scratch volume holding a scores file put there by mtools; then
# mtools must read the report back, find no file of a stream never closed, and fsck be clean.
# Usage: volume_streams_test.sh VORNOS_RUN [OPTIONS] PROGRAM
source "$(dirname "$0")/../fcntl/scratch_volume.sh"
mmd -i "$image" ::/Data
printf 'alice 12\nbob\t-5\r\ncarol 0x1f\n  Bartholomew-Smythe 010\n' >"$scratch/scores"
mcopy -i "$image" "$scratch/scores" ::/Data/Scores.txt
runner=$1
shift
"$runner" --volume "$image" "$@"
fsck_clean
report=$(mtype -i "$image" "::/Data/Report of the day.txt") || fail "mtype of the report"
[ "$report" = $'46 points from alicebobcarolBartholomew-Smy\nend of report' ] || fail "report: $report"
if mdir -i "$image" ::/Data | grep -qi never; then fail "a stream never closed left a file"; fi
