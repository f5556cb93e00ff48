#!/usr/bin/env bash
# Installs what is missing, builds the command line program (and only that) and starts it with
# the given arguments. The build's progress goes to standard error, so that the program's own
# output stays alone on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build/release
if [ ! -f "$dir/build.ninja" ]; then
  echo "Configuring $dir ..." >&2
  cmake -S . -B "$dir" -G Ninja -DVEXILO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
echo "Building vexilo-cli ..." >&2
cmake --build "$dir" --target vexilo-cli -j "$(nproc)" >&2
exec "$dir/cli/vexilo-cli" "${@:---help}"
