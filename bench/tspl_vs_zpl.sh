#!/usr/bin/env bash
# rastomoxtspl against our own rastomoxzpl on the same 24-bit rasters, in one run: no TSPL
# filter is packaged to compare with, and ZPL compresses its graphic where TSPL sends it as it
# is, so TSPL must not be the slower one. Each filter gets the raster of its own PPD, made by
# the real CUPS filter chain from the sample label PDF; the runs alternate between the two.
# Goals: the 100-label job at most 1.1 times the ZPL filter's time per label at both
# resolutions, peak memory under 4 pages; the single labels, bytes and start-up are reported.
#
#   bash bench/tspl_vs_zpl.sh            (PASSES=15, BIG_PASSES=7 by default)
source "$(dirname "$0")/label_bench.sh"

A_NAME=tspl A_FILTER=$build/tspl/rastomoxtspl A_BITS=24 A_OPTIONS=
A_PPD_203=$build/ppd/mxtspl203.ppd A_PPD_300=$build/ppd/mxtspl300.ppd
B_NAME=zpl B_FILTER=$build/zpl/rastomoxzpl B_BITS=24 B_OPTIONS=
B_PPD_203=$build/ppd/mxzpl203.ppd B_PPD_300=$build/ppd/mxzpl300.ppd
bench_setup rastomoxtspl rastomoxzpl tspl_ppds zpl_ppds

bench_labels
bench_goal report 4x6@203
bench_goal report 4x6@300
bench_goal report 2x1@203
bench_goal time 100x4x6@203 1.1
bench_goal time 100x4x6@300 1.1
for c in 4x6@203 4x6@300 2x1@203; do bench_goal bytes "$c"; done
bench_goal memory 100x4x6@203 4
bench_goal memory 100x4x6@300 4
