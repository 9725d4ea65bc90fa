#!/usr/bin/env bash
# Builds everything, then runs every test: guest tests of the runtime under the stand-in
# kernel, host tests of the kernel, end-to-end tests of mendir and the SDK.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
