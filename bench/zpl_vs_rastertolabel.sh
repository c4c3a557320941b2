#!/usr/bin/env bash
# rastomoxzpl against CUPS's own rastertolabel (ZPL mode) on the same labels, in one run.
# Each filter gets the raster its own PPD asks for (ours 24-bit RGB, the peer 1-bit), made by
# the real CUPS filter chain from the sample label PDF; the runs alternate between the two.
# Reports the medians, the start-up jobs and every goal (bench_rastertolabel_goals).
#
#   bash bench/zpl_vs_rastertolabel.sh            (PASSES=15, BIG_PASSES=7 by default)
source "$(dirname "$0")/label_bench.sh"

A_NAME=ours A_FILTER=$build/zpl/rastomoxzpl A_BITS=24 A_OPTIONS=
A_PPD_203=$build/ppd/mxzpl203.ppd A_PPD_300=$build/ppd/mxzpl300.ppd
bench_setup rastomoxzpl zpl_ppds
B_NAME=peer B_FILTER=/usr/lib/cups/filter/rastertolabel B_BITS=1 B_OPTIONS=Resolution=@DPI@dpi
B_PPD_203=$work/peer/zebra.ppd B_PPD_300=$work/peer/zebra.ppd

bench_labels
bench_rastertolabel_goals
