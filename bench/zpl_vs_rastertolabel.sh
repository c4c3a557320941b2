#!/usr/bin/env bash
# rastomoxzpl against CUPS's own rastertolabel (ZPL mode) on the same labels, in one run.
# Each filter gets the raster its own PPD asks for (ours 24-bit RGB, the peer 1-bit), made by
# the real CUPS filter chain from the sample label PDF. Reports the median of PASSES runs.
#
#   bash bench/zpl_vs_rastertolabel.sh            (PASSES=3 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
passes=${PASSES:-3}
build=${BENCH_BUILD_DIR:-build-bench}

bash scripts/install-deps.sh >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target rastomoxzpl sample_pdf filter_bench zpl_ppds >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ppdc -d "$work/peer" /usr/share/cups/drv/sample.drv
peer_ppd=$work/peer/zebra.ppd
peer_filter=/usr/lib/cups/filter/rastertolabel
ours=$build/zpl/rastomoxzpl

"$build/tools/sample_pdf" label --size 4x6in -o "$work/4x6.pdf"
"$build/tools/sample_pdf" label --size 4x6in --pages 100 -o "$work/4x6x100.pdf"
"$build/tools/sample_pdf" label --size 2x1in -o "$work/2x1.pdf"

# raster <ppd> <pdf> <out> <options...>: what the CUPS chain hands the filter of that PPD.
raster() {
  local ppd=$1 pdf=$2 out=$3
  shift 3
  local opts=()
  for o in "$@"; do opts+=(-o "$o"); done
  cupsfilter -p "$ppd" -m application/vnd.cups-raster "${opts[@]}" "$pdf" >"$out" 2>/dev/null
}

# case <name> <pdf> <labels> <our ppd> <page size> <peer resolution>
printf '%-14s %-6s %9s %9s %10s %12s\n' case filter ms/job ms/label rss_MiB bytes/label
measure() {
  local name=$1 pdf=$2 labels=$3 our_ppd=$4 size=$5 res=$6
  raster "$our_ppd" "$pdf" "$work/ours.ras" "PageSize=$size"
  raster "$peer_ppd" "$pdf" "$work/peer.ras" "PageSize=$size" "Resolution=$res"
  for who in ours peer; do
    if [ $who = ours ]; then line=$("$build/bench/filter_bench" "$passes" "$our_ppd" "$work/ours.ras" "$ours")
    else line=$("$build/bench/filter_bench" "$passes" "$peer_ppd" "$work/peer.ras" "$peer_filter"); fi
    echo "$line" | awk -v name="$name" -v who="$who" -v labels="$labels" '{
      for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "%-14s %-6s %9.1f %9.2f %10.1f %12d\n", name, who, v["ms"], v["ms"] / labels, v["rss_kib"] / 1024, v["bytes"] / labels
      print name, who, v["ms"], v["rss_kib"], v["bytes"], labels >> "'"$work/results"'"
    }'
  done
}
measure 4x6@203 "$work/4x6.pdf" 1 "$build/ppd/mxzpl203.ppd" w288h432 203dpi
measure 4x6@300 "$work/4x6.pdf" 1 "$build/ppd/mxzpl300.ppd" w288h432 300dpi
measure 2x1@203 "$work/2x1.pdf" 1 "$build/ppd/mxzpl203.ppd" w144h72 203dpi
measure 100x4x6@203 "$work/4x6x100.pdf" 100 "$build/ppd/mxzpl203.ppd" w288h432 203dpi

# Ratios (ours / peer). Per additional label: (100-label job - 1-label job) / 99; start-up:
# the 1-label job less one label.
awk '
  { ms[$1" "$2]=$3; rss[$1" "$2]=$4; bytes[$1" "$2]=$5/$6 }
  END {
    o1=ms["4x6@203 ours"]; p1=ms["4x6@203 peer"]; o100=ms["100x4x6@203 ours"]; p100=ms["100x4x6@203 peer"]
    ol=(o100-o1)/99; pl=(p100-p1)/99
    printf "\nper additional 4x6 label @203: ours %.2f ms, peer %.2f ms, ratio %.2f (goal <= 1.0)\n", ol, pl, ol/pl
    printf "labels per second (100-label job): ours %.0f, peer %.0f\n", 100000/o100, 100000/p100
    printf "start-up (1-label job less one label): ours %.1f ms, peer %.1f ms, ratio %.2f (goal <= 1.0)\n", o1-ol, p1-pl, (o1-ol)/(p1-pl)
    split("4x6@203 4x6@300 2x1@203 100x4x6@203", cases, " ")
    for (i = 1; i <= 4; i++) { c=cases[i]
      printf "bytes per label %-12s ours %7d peer %7d ratio %.3f (goal <= 0.35)\n", c, bytes[c" ours"], bytes[c" peer"], bytes[c" ours"]/bytes[c" peer"] }
    page=812*1218*3/1048576
    printf "peak memory 4x6@203: ours %.1f MiB, peer %.1f MiB; one 24-bit page %.1f MiB, ratio %.2f (goal < 4)\n",
      rss["4x6@203 ours"]/1024, rss["4x6@203 peer"]/1024, page, rss["4x6@203 ours"]/1024/page
  }' "$work/results"
