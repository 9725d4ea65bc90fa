#!/usr/bin/env bash
# Builds only what the main job runs (mendir, vornos-run, the SDK and the sample volume),
# quietly, then runs it: `mendir /` on the bundled sample volume. scripts/test.sh builds
# the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=build/run-mendir.log
echo "run-mendir: building mendir, vornos-run, the SDK and the sample volume (log: $log)" >&2
if ! scripts/build.sh mendir vornos-run vornos_sdk sample_volume > "$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "run-mendir: the build failed; the whole log is $log" >&2
  exit 1
fi
# The sample is named, so that the repair is made on it for real (unnamed, it would be a snapshot).
exec build/bin/vornos-run --volume build/share/vornos/sample.img build/bin/mendir /
