#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one fuzzer, or all of them, for a while.
#   bash scripts/fuzz.sh [seconds] [target|all]
#   (default 60 seconds and zpldecode; "all" runs every target for the given seconds each and
#   fails when any of them finds a crash; findings go to build-fuzz/findings)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(zpldecode posdecode tspldecode epldecode ppdkeyword jobname taskinfo ppmheader labeljob
  graphicdeflate)
seconds=${1:-60}
target=${2:-zpldecode}
if [[ "$target" == all ]]; then
  selected=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $target "* ]]; then
  selected=("$target")
else
  echo "unknown fuzzer: $target (one of: ${targets[*]} all)" >&2
  exit 2
fi
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMX_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "${FUZZ_JOBS:-2}" --target "${selected[@]/#/fuzz_}"
mkdir -p "$build_dir/findings"
failed=()
for name in "${selected[@]}"; do
  mkdir -p "$build_dir/corpus/$name"
  echo "== fuzz_$name: $seconds s"
  # libcups sizes its line buffer from a page header before a filter can look at it; such a
  # reservation of gigabytes is never touched, so only what is resident counts for the job flow.
  limits=()
  # The job's own messages to CUPS would drown the fuzzer's; its reports still show.
  [ "$name" = labeljob ] && limits=(-malloc_limit_mb=8192 -close_fd_mask=2)
  if ! "$build_dir/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      "${limits[@]}" -artifact_prefix="$build_dir/findings/$name-" "$build_dir/corpus/$name" \
      "fuzz/corpus/$name"; then
    failed+=("$name")
  fi
done
if ((${#failed[@]} > 0)); then
  echo "fuzzers that found a crash: ${failed[*]}" >&2
  exit 1
fi
