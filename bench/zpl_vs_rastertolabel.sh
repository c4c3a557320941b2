#!/usr/bin/env bash
# rastomoxzpl against CUPS's own rastertolabel (ZPL mode) on the same labels, in one run.
# Each filter gets the raster its own PPD asks for (ours 24-bit RGB, the peer 1-bit), made by
# the real CUPS filter chain from the sample label PDF; the runs alternate between the two.
# Reports the medians and every goal: a single 4x6 label at most as long as the peer's, the
# 100-label job per label at most 0.6 (203 dpi) and 0.75 (300 dpi) of the peer's, bytes per
# label at most 0.35 of the peer's, peak memory under 4 pages, and the start-up jobs.
#
#   bash bench/zpl_vs_rastertolabel.sh            (PASSES=10, BIG_PASSES=3 by default)
source "$(dirname "$0")/label_bench.sh"

A_NAME=ours A_FILTER=$build/zpl/rastomoxzpl A_BITS=24 A_OPTIONS=
A_PPD_203=$build/ppd/mxzpl203.ppd A_PPD_300=$build/ppd/mxzpl300.ppd
bench_setup rastomoxzpl zpl_ppds
B_NAME=peer B_FILTER=/usr/lib/cups/filter/rastertolabel B_BITS=1 B_OPTIONS=Resolution=@DPI@dpi
B_PPD_203=$work/peer/zebra.ppd B_PPD_300=$work/peer/zebra.ppd

bench_labels
bench_goal time 4x6@203 1.0
bench_goal time 4x6@300 1.0
bench_goal time 2x1@203 1.0
bench_goal time 100x4x6@203 0.6
bench_goal time 100x4x6@300 0.75
for c in 4x6@203 4x6@300 2x1@203 100x4x6@203 100x4x6@300; do bench_goal bytes "$c" 0.35; done
bench_goal memory 100x4x6@203 4
bench_goal memory 100x4x6@300 4
