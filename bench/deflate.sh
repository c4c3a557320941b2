#!/usr/bin/env bash
# The graphic encoder against zlib and libdeflate on the graphics rastomoxzpl sends for the
# benchmark labels: the sample label PDF through the real CUPS chain to raster, through the filter
# to ZPL, and each page's graphic compressed again by every method. Prints the median of RUNS runs (51 by default).
#
#   bash bench/deflate.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-51}
build=${BENCH_BUILD_DIR:-build-bench}

bash scripts/install-deps.sh >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target rastomoxzpl sample_pdf deflate_bench zpl_ppds >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/sample_pdf" label --size 4x6in -o "$work/4x6.pdf"
"$build/tools/sample_pdf" label --size 2x1in -o "$work/2x1.pdf"

# zpl <name> <pdf> <dpi> <page size>: the filter's stream for the label.
zpl() {
  local name=$1 pdf=$2 dpi=$3 size=$4 ppd=$build/ppd/mxzpl$3.ppd
  cupsfilter -p "$ppd" -m application/vnd.cups-raster -o "PageSize=$size" "$pdf" \
    >"$work/$name.ras" 2>/dev/null
  PPD=$ppd "$build/zpl/rastomoxzpl" 1 bench label 1 "" "$work/$name.ras" >"$work/$name.zpl" 2>/dev/null
  echo "$name=$work/$name.zpl"
}
"$build/bench/deflate_bench" "$runs" \
  "$(zpl 4x6@203 "$work/4x6.pdf" 203 w288h432)" \
  "$(zpl 4x6@300 "$work/4x6.pdf" 300 w288h432)" \
  "$(zpl 2x1@203 "$work/2x1.pdf" 203 w144h72)"
