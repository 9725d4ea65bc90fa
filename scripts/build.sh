#!/usr/bin/env bash
# Configures build/ and builds the given targets, or everything: the SDK, libc.a, mendir,
# vornos-run, the sample volume, the tests and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build build -j"$(nproc)" "${targets[@]+"${targets[@]}"}"
