#!/usr/bin/env bash
# Builds the desktop program and writes a picture of every window to docs/screenshots/, under
# a virtual X server, with the test images of tests/data/tiff in the list.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build/release
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DVEXILO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build "$dir" --target vexilo -j "$(nproc)" >&2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
VEXILO_HOME="$home" xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$dir/ui/vexilo" --screenshot "$PWD/docs/screenshots" "$PWD/tests/data/tiff"
ls docs/screenshots
