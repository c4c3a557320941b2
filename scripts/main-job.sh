#!/usr/bin/env bash
# The main job: a sample shipping label (text, a Code 128 barcode and a QR code) printed through
# the real CUPS filter chain with the shipped PPDs of each label printer language (ZPL II, TSPL,
# EPL2), into the printer streams and previews of the printed labels. No printer is needed: the
# printer streams go to files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build=${BUILD_DIR:-build}
out=${OUT_DIR:-out}
mkdir -p "$out"

"$build/tools/sample_pdf" label --size 4x6in -o "$out/label.pdf"

# cupsfilter runs the filters of a private filter directory: the system's and ours.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/serverbin/filter"
ln -s /usr/lib/cups/filter/* "$work/serverbin/filter/"
for filter in zpl/rastomoxzpl tspl/rastomoxtspl epl/rastomoxepl; do
  ln -sf "$(realpath "$build/$filter")" "$work/serverbin/filter/$(basename "$filter")"
done
printf 'ServerBin %s\nDataDir /usr/share/cups\nServerRoot /etc/cups\n' "$work/serverbin" >"$work/cups-files.conf"

# print <language> <ppd> <stream>: the sample label through the queue's filter chain, then
# previewed as the printer would print it, its barcodes read back.
print() {
  local language=$1 ppd=$2 stream=$3
  cupsfilter -c "$work/cups-files.conf" -e -p "$build/ppd/$ppd" -m printer/label \
    "$out/label.pdf" >"$out/$stream" 2>"$out/cupsfilter-$language.log"
  "$build/tools/labelpreview" --barcodes -o "$out" --prefix "label-$language" "$out/$stream"
  echo
}
print zpl mxzpl203.ppd label.zpl
print tspl mxtspl203.ppd label.tspl
print epl mxepl203.ppd label.epl

echo "label: $out/label.pdf"
for stream in label.zpl label.tspl label.epl; do
  language=${stream#label.}
  echo "$language: $out/$stream ($(stat -c %s "$out/$stream") bytes), preview $out/label-$language-1.png"
done
