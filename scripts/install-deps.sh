#!/usr/bin/env bash
# Installs the Debian packages that building and testing need (Debian 12, run as root).
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang clang-format libclang-rt-14-dev
  libcups2-dev libcupsimage2-dev zlib1g-dev libdeflate-dev libpng-dev libqrencode-dev libzbar-dev googletest libgtest-dev
  cups cups-client cups-filters cups-filters-core-drivers cups-ppdc poppler-utils ghostscript zbar-tools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  run=()
  [ "$(id -u)" -eq 0 ] || run=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${run[@]}" apt-get update -q
  "${run[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
