#!/usr/bin/env bash
# rastomoxepl against CUPS's own rastertolabel in its EPL2 mode (the EPL2 PPD of the CUPS
# sample driver, compiled with ppdc) on the same labels, in one run. Each filter gets the raster
# its own PPD asks for (ours 24-bit RGB, the peer 1-bit), made by the real CUPS filter chain
# from the sample label PDF; the runs alternate between the two. Goals: a single label and the
# 100-label job per label at most as long as the peer's at 203 and 300 dpi, bytes per label at
# most the peer's, peak memory under 4 pages; start-up is reported.
#
#   bash bench/epl_vs_rastertolabel.sh            (PASSES=10, BIG_PASSES=3 by default)
source "$(dirname "$0")/label_bench.sh"

A_NAME=ours A_FILTER=$build/epl/rastomoxepl A_BITS=24 A_OPTIONS=
A_PPD_203=$build/ppd/mxepl203.ppd A_PPD_300=$build/ppd/mxepl300.ppd
bench_setup rastomoxepl epl_ppds
B_NAME=peer B_FILTER=/usr/lib/cups/filter/rastertolabel B_BITS=1 B_OPTIONS=Resolution=@DPI@dpi
B_PPD_203=$work/peer/zebraep2.ppd B_PPD_300=$work/peer/zebraep2.ppd

bench_labels
for c in 4x6@203 4x6@300 2x1@203 100x4x6@203 100x4x6@300; do bench_goal time "$c" 1.0; done
for c in 4x6@203 4x6@300 2x1@203 100x4x6@203 100x4x6@300; do bench_goal bytes "$c" 1.0; done
bench_goal memory 100x4x6@203 4
bench_goal memory 100x4x6@300 4
