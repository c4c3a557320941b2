#!/usr/bin/env bash
# Builds the imaging benchmark with optimisation (into ./build-bench, or $BENCH_BUILD_DIR)
# and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build_dir" --target bench_imaging -j "$(nproc)" >/dev/null
"$build_dir/bench/bench_imaging"
