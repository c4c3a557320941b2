#!/usr/bin/env bash
# Writes the README's tables of the options each PPD offers, read from the compiled PPDs, between
# the "ppd-options" markers; with --check only tells whether the README is current.
#   bash scripts/ppd-options.sh [--check] [build dir]     (run by scripts/test.sh with --check)
set -euo pipefail
cd "$(dirname "$0")/.."
check=no
if [ "${1:-}" = --check ]; then check=yes; shift; fi
ppd_dir=${1:-${BUILD_DIR:-build}}/ppd
begin='<!-- ppd-options: written by scripts/ppd-options.sh from the PPDs, do not edit -->'
end='<!-- ppd-options end -->'

# One table row per option a user can choose ("*OpenUI" with more than one choice; PageRegion
# only repeats PageSize): group, keyword, what it does, choices, default.
rows() {
  awk '
    function text(s) { return index(s, "/") ? substr(s, index(s, "/") + 1) : s }
    BEGIN { group = "General" }
    /^\*CloseGroup:/ { group = "General"; shown = 0 }
    /^\*OpenGroup:/ { sub(/^\*OpenGroup: */, ""); group = text($0); shown = 0 }
    /^\*OpenUI \*/ {
      s = $0; sub(/^\*OpenUI \*/, "", s); sub(/: *PickOne.*$/, "", s)
      option = s; sub(/\/.*/, "", option); title = text(s); n = 0; def = ""; open = 1; next
    }
    open && index($0, "*Default" option ":") == 1 { def = $2; next }
    open && index($0, "*" option " ") == 1 {
      s = substr($0, length(option) + 3); sub(/:.*$/, "", s)
      key = s; sub(/\/.*/, "", key); label = text(s)
      choices = (n++ ? choices ", " : "") "`" key "`" (label != key ? " (" label ")" : "")
    }
    /^\*CloseUI:/ {
      if (open && n > 1 && option != "PageRegion") {
        printf "| %s | `%s` | %s | %s | `%s` |\n", (shown++ ? "" : group), option, title, choices, def
      }
      open = 0
    }' "$1"
}

# A table per printer language: the first model'\''s options, then what differs in the others.
table() {
  local title=$1 first=$2
  shift 2
  printf '\n#### %s\n\n' "$title"
  echo '| Group | Option | What it sets | Choices: `lp -o Option=choice` | Default |'
  echo '|---|---|---|---|---|'
  rows "$ppd_dir/$first"
  for other in "$@"; do
    rows "$ppd_dir/$other" | grep -vxF -f <(rows "$ppd_dir/$first") |
      sed -E "s/^\| [^|]* \| (\`[^\`]*\`)/| | \1 in \`$other\`/" || true
  done
}

generate() {
  echo "$begin"
  table 'ZPL II label printers (`mxzpl203.ppd`, `mxzpl300.ppd`)' mxzpl203.ppd mxzpl300.ppd
  table 'TSPL label printers (`mxtspl203.ppd`, `mxtspl300.ppd`)' mxtspl203.ppd mxtspl300.ppd
  table 'EPL2 label printers (`mxepl203.ppd`, `mxepl300.ppd`)' mxepl203.ppd mxepl300.ppd
  table 'ESC/POS receipt printers (`mxpos58.ppd`, `mxpos80.ppd`)' mxpos58.ppd mxpos80.ppd
  echo
  echo "$end"
}

tables=$(generate)
current=$(sed -n "\|^$begin\$|,\|^$end\$|p" README.md)
if [ "$check" = yes ]; then
  if [ "$tables" != "$current" ]; then
    echo "README.md: the PPD option tables are out of date; run: bash scripts/ppd-options.sh" >&2
    exit 1
  fi
  echo "README.md: the PPD option tables match the PPDs"
  exit 0
fi
grep -qxF "$begin" README.md || { echo "README.md has no line: $begin" >&2; exit 1; }
{
  sed "\|^$begin\$|,\$d" README.md
  echo "$tables"
  sed "1,\|^$end\$|d" README.md
} >README.md.new
mv README.md.new README.md
echo "README.md: PPD option tables written"
