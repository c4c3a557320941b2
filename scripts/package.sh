#!/usr/bin/env bash
# Builds the Debian package: installs what building needs, builds the filters, PPDs and tools
# without the tests into ./build-deb (or $DEB_BUILD_DIR) and packs them with CPack.
#   bash scripts/package.sh        -> build-deb/mox-label-filters_<version>_<arch>.deb
# Install it with: apt-get install ./build-deb/mox-label-filters_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${DEB_BUILD_DIR:-build-deb}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build_dir"/*.deb | head -n 1)
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
echo "package: $deb"
