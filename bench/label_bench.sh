# Shared by the label filter benchmarks (zpl_vs_rastertolabel.sh, tspl_vs_zpl.sh,
# epl_vs_rastertolabel.sh); sourced, not run. It builds what they run, makes the sample labels
# and, through the real CUPS filter chain, the raster each filter's own PPD asks for, runs the
# two filters of a script in turns (filter_bench) and prints the table and the goals.
#
# A script sets the two sides, A (ours) and B (the one compared with):
#   A_NAME, A_FILTER, A_PPD_203, A_PPD_300, A_BITS (24 or 1), A_OPTIONS (cupsfilter -o
#   options with @DPI@ for the resolution), and the same with B_; then calls bench_setup with
#   its build targets, bench_case per label, bench_startup, and bench_goal per goal.
#
# Environment: PASSES (runs per single-label job, 15), BIG_PASSES (runs of a 100-label job, 7),
# BENCH_BUILD_DIR (build-bench). Medians throughout; other users of the machine are met by
# both sides alike, since the runs alternate.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
passes=${PASSES:-15}
big_passes=${BIG_PASSES:-7}
build=${BENCH_BUILD_DIR:-build-bench}

bench_setup() {
  bash scripts/install-deps.sh >/dev/null
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" --target sample_pdf filter_bench tiny_jobs "$@" >/dev/null
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  ppdc -d "$work/peer" /usr/share/cups/drv/sample.drv 2>/dev/null
  "$build/tools/sample_pdf" label --size 4x6in -o "$work/4x6.pdf"
  "$build/tools/sample_pdf" label --size 4x6in --pages 100 -o "$work/4x6x100.pdf"
  "$build/tools/sample_pdf" label --size 2x1in -o "$work/2x1.pdf"
  : >"$work/results"
  printf '%-14s %-6s %9s %9s %10s %12s\n' case filter ms/job ms/label rss_MiB bytes/label
}

# side_raster <A|B> <pdf> <dpi> <page size> <out>: what the CUPS chain hands that side's filter.
side_raster() {
  local side=$1 pdf=$2 dpi=$3 size=$4 out=$5 ppd options o
  ppd=$(side_value "$side" PPD_"$dpi")
  options=$(side_value "$side" OPTIONS)
  local args=(-o "PageSize=$size")
  for o in ${options//@DPI@/$dpi}; do args+=(-o "$o"); done
  cupsfilter -p "$ppd" -m application/vnd.cups-raster "${args[@]}" "$pdf" >"$out" 2>/dev/null
}

side_value() {
  local name=$1_$2
  echo "${!name}"
}

# record <case> <labels> <dpi> <passes> <A raster> <B raster>: runs both sides in turns and
# appends "case side ms rss_kib bytes labels dpi" to the results.
record() {
  local name=$1 labels=$2 dpi=$3 runs=$4 a_ras=$5 b_ras=$6 lines
  lines=$("$build/bench/filter_bench" "$runs" \
    "$A_FILTER" "$(side_value A PPD_"$dpi")" "$a_ras" \
    "$B_FILTER" "$(side_value B PPD_"$dpi")" "$b_ras")
  paste <(printf '%s\n%s\n' "$A_NAME" "$B_NAME") <(echo "$lines") |
    awk -v name="$name" -v labels="$labels" -v dpi="$dpi" -v out="$work/results" '{
      for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "%-14s %-6s %9.1f %9.2f %10.1f %12d\n", name, $1, v["ms"], v["ms"] / labels,
        v["rss_kib"] / 1024, v["bytes"] / labels
      print name, $1, v["ms"], v["rss_kib"], v["bytes"], labels, dpi >> out
    }'
}

# bench_case <case> <pdf> <labels> <dpi> <page size>
bench_case() {
  local name=$1 pdf=$2 labels=$3 dpi=$4 size=$5
  side_raster A "$pdf" "$dpi" "$size" "$work/a.ras"
  side_raster B "$pdf" "$dpi" "$size" "$work/b.ras"
  record "$name" "$labels" "$dpi" "$([ "$labels" -gt 1 ] && echo "$big_passes" || echo "$passes")" \
    "$work/a.ras" "$work/b.ras"
}

# bench_startup <dpi>: a job without pages and a page of one dot, each side in its own format.
bench_startup() {
  local dpi=$1
  "$build/bench/tiny_jobs" "$work" "$dpi"
  record "empty@$dpi" 1 "$dpi" "$passes" "$work/empty.ras" "$work/empty.ras"
  record "dot@$dpi" 1 "$dpi" "$passes" "$work/dot$A_BITS.ras" "$work/dot$B_BITS.ras"
}

# bench_goal <time|bytes|memory|report> <case> [limit]: A's figure against B's (memory: A's
# peak against one 24-bit 4x6 page at the case's resolution), with the goal when there is one.
bench_goal() {
  local kind=$1 name=$2 limit=${3:-}
  awk -v kind="$kind" -v name="$name" -v limit="$limit" -v a="$A_NAME" -v b="$B_NAME" '
    $1 == name { ms[$2] = $3 / $6; rss[$2] = $4; bytes[$2] = $5 / $6; dpi = $7 }
    END {
      if (kind == "memory") {
        page = 4 * dpi * 6 * dpi * 3 / 1024
        fa = rss[a] / 1024; fb = page / 1024; ratio = rss[a] / page
        label = "peak memory, MiB (B: one 24-bit 4x6 page)"
      } else if (kind == "bytes") {
        fa = bytes[a]; fb = bytes[b]; ratio = fa / fb; label = "bytes per label"
      } else {
        fa = ms[a]; fb = ms[b]; ratio = fa / fb; label = "ms per label"
      }
      met = kind == "memory" ? ratio < limit : ratio <= limit
      verdict = limit == "" ? "" : (met ? "met" : "MISSED")
      printf "%-14s %-44s %s %9.2f  %s %9.2f  ratio %5.2f  %s%s\n", name, label, a, fa, b, fb,
        ratio, limit == "" ? "" : "goal " (kind == "memory" ? "< " : "<= ") limit "  ", verdict
    }' "$work/results"
}

# The labels every script measures: start-up, a 4x6 label at 203 and 300 dpi, a 2x1 label and
# a 100-label job at both resolutions; then the start-up reports.
bench_labels() {
  bench_startup 203
  bench_case 4x6@203 "$work/4x6.pdf" 1 203 w288h432
  bench_case 4x6@300 "$work/4x6.pdf" 1 300 w288h432
  bench_case 2x1@203 "$work/2x1.pdf" 1 203 w144h72
  bench_case 100x4x6@203 "$work/4x6x100.pdf" 100 203 w288h432
  bench_case 100x4x6@300 "$work/4x6x100.pdf" 100 300 w288h432
  echo
  bench_goal report empty@203
  bench_goal report dot@203
}

# The goals of a filter against CUPS's rastertolabel: a single 4x6 label at most as long as the
# peer's, the 100-label job per label at most 0.6 (203 dpi) and 0.75 (300 dpi) of the peer's,
# bytes per label at most 0.35 of the peer's, peak memory under 4 pages.
bench_rastertolabel_goals() {
  bench_goal time 4x6@203 1.0
  bench_goal time 4x6@300 1.0
  bench_goal time 2x1@203 1.0
  bench_goal time 100x4x6@203 0.6
  bench_goal time 100x4x6@300 0.75
  for c in 4x6@203 4x6@300 2x1@203 100x4x6@203 100x4x6@300; do bench_goal bytes "$c" 0.35; done
  bench_goal memory 100x4x6@203 4
  bench_goal memory 100x4x6@300 4
}
