#!/usr/bin/env bash
# Configures and builds everything into build/: the SDK, libc.a, mendir, vornos-run, the
# sample volume, the tests and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
