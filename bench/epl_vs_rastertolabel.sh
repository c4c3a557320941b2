#!/usr/bin/env bash
# rastomoxepl against CUPS's own rastertolabel in its EPL2 mode (the EPL2 PPD of the CUPS
# sample driver, compiled with ppdc) on the same labels, in one run. Each filter gets the raster
# its own PPD asks for (ours 24-bit RGB, the peer 1-bit), made by the real CUPS filter chain
# from the sample label PDF; the runs alternate between the two. The goals are the ZPL filter's
# (bench_rastertolabel_goals); start-up is reported.
#
#   bash bench/epl_vs_rastertolabel.sh            (PASSES=15, BIG_PASSES=7 by default)
source "$(dirname "$0")/label_bench.sh"

A_NAME=ours A_FILTER=$build/epl/rastomoxepl A_BITS=24 A_OPTIONS=
A_PPD_203=$build/ppd/mxepl203.ppd A_PPD_300=$build/ppd/mxepl300.ppd
bench_setup rastomoxepl epl_ppds
B_NAME=peer B_FILTER=/usr/lib/cups/filter/rastertolabel B_BITS=1 B_OPTIONS=Resolution=@DPI@dpi
B_PPD_203=$work/peer/zebraep2.ppd B_PPD_300=$work/peer/zebraep2.ppd

bench_labels
bench_rastertolabel_goals
