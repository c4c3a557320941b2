#!/usr/bin/env bash
# Builds the receipt filter, its benchmark and the receipt PPDs, then times a 1-metre receipt on the 80 mm model
# with and without "SavingPaper" (median of RUNS runs, default 7).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build_dir" --target rastertomoxdtpos receipt_bench pos_ppds -j "$(nproc)" >/dev/null
"$build_dir/bench/receipt_bench" "$build_dir/pos/rastertomoxdtpos" "$build_dir/ppd/mxpos80.ppd" "${RUNS:-7}"
