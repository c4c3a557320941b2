#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite twice: as built
# for use (gcc), then built by clang with the address and undefined behaviour sanitizers and
# the fuzzers' coverage, where every fuzz target also runs for a few seconds on its corpus.
#   SANITIZE=0 bash scripts/test.sh     (only the first run)
#   FUZZ_SECONDS=n                      (seconds per fuzz target, default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/build.sh
bash scripts/ppd-options.sh --check "${BUILD_DIR:-build}"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
if [ "${SANITIZE:-1}" != 0 ]; then
  san_dir=${FUZZ_BUILD_DIR:-build-fuzz}
  cmake -S . -B "$san_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMX_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$san_dir" -j "$(nproc)"
  ctest --test-dir "$san_dir" --output-on-failure -j "$(nproc)"
  FUZZ_BUILD_DIR="$san_dir" bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}" all
fi
