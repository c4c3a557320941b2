#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one decoder fuzzer for a while.
#   bash scripts/fuzz.sh [seconds] [zpldecode|posdecode|tspldecode|epldecode|labeljob]
#   (default 60 seconds and zpldecode; findings go to build-fuzz/findings)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
target=${2:-zpldecode}
case "$target" in zpldecode|posdecode|tspldecode|epldecode|labeljob) ;; *) echo "unknown fuzzer: $target" >&2; exit 2 ;; esac
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMX_FUZZ=ON \
  -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target "fuzz_$target"
mkdir -p "$build_dir/corpus/$target" "$build_dir/findings"
# libcups sizes its line buffer from a page header before a filter can look at it; such a
# reservation of gigabytes is never touched, so only what is resident counts for the job flow.
limits=()
[ "$target" = labeljob ] && limits=(-malloc_limit_mb=8192)
"$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 "${limits[@]}" \
  -artifact_prefix="$build_dir/findings/" "$build_dir/corpus/$target" "fuzz/corpus/$target"
