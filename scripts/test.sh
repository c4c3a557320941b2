#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
bash scripts/build.sh
bash scripts/ppd-options.sh --check "${BUILD_DIR:-build}"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
