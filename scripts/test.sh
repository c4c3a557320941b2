#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite: once as built
# for use, once more built with the address and undefined behaviour sanitizers.
#   SANITIZE=0 bash scripts/test.sh     (skips the sanitizer run)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/build.sh
bash scripts/ppd-options.sh --check "${BUILD_DIR:-build}"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
if [ "${SANITIZE:-1}" != 0 ]; then
  asan_dir=${ASAN_BUILD_DIR:-build-asan}
  cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMX_SANITIZE=ON >/dev/null
  cmake --build "$asan_dir" -j "$(nproc)"
  ctest --test-dir "$asan_dir" --output-on-failure -j "$(nproc)"
fi
