#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the repository's clang-format style.
#   bash scripts/check-format.sh        (run by scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
  grep -E '^[^ ].*: (error|warning):' "$report" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  echo "Run: clang-format -i <file> (style in .clang-format)" >&2
  exit 1
fi
echo "formatting: ${#files[@]} C++ files follow .clang-format"
