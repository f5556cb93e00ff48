#!/usr/bin/env bash
# Builds the Debian package vexilo_<version>_<architecture>.deb into build/package/.
#   scripts/package.sh
# Needs dpkg-dev (dpkg-shlibdeps works out the package's dependencies from the programs).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/package
command -v dpkg-shlibdeps >/dev/null || { echo "package.sh: dpkg-shlibdeps is missing (apt-get install dpkg-dev)" >&2; exit 1; }
cmake -S . -B "$dir" -G Ninja -DVEXILO_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DVEXILO_BUILD_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/vexilo_*.deb
