#!/usr/bin/env bash
# The main job: a sample shipping label (text, a Code 128 barcode and a QR code) printed through
# the real CUPS filter chain with the shipped ZPL PPD and rastomoxzpl, into a ZPL file and its
# preview image. No printer is needed: the printer stream goes to a file.
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
ln -sf "$(realpath "$build/zpl/rastomoxzpl")" "$work/serverbin/filter/rastomoxzpl"
printf 'ServerBin %s\nDataDir /usr/share/cups\nServerRoot /etc/cups\n' "$work/serverbin" >"$work/cups-files.conf"

cupsfilter -c "$work/cups-files.conf" -e -p "$build/ppd/mxzpl203.ppd" -m printer/label \
  "$out/label.pdf" >"$out/label.zpl" 2>"$out/cupsfilter.log"
"$build/tools/zpldecode" -o "$out" --prefix label "$out/label.zpl"
echo
echo "label: $out/label.pdf"
echo "ZPL:   $out/label.zpl ($(stat -c %s "$out/label.zpl") bytes)"
echo "preview of the printed label: $out/label-1.png"
