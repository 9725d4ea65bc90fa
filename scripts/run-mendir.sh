#!/usr/bin/env bash
# Builds everything, then runs the main job: `mendir /` on the bundled sample volume.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/bin/vornos-run build/bin/mendir /
