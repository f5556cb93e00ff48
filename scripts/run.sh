#!/usr/bin/env bash
# Installs what is missing, builds the desktop program and starts it with the given arguments.
#   scripts/run.sh [arguments]          the desktop program (vexilo)
#   scripts/run.sh --cli [arguments]    the command line program (vexilo-cli) instead
# The build's progress goes to standard error, so that the program's own output stays alone on
# standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build/release
if [ ! -f "$dir/build.ninja" ]; then
  echo "Configuring $dir ..." >&2
  cmake -S . -B "$dir" -G Ninja -DVEXILO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
if [[ "${1:-}" == "--cli" ]]; then
  shift
  echo "Building vexilo-cli ..." >&2
  cmake --build "$dir" --target vexilo-cli -j "$(nproc)" >&2
  exec "$dir/cli/vexilo-cli" "${@:---help}"
fi
echo "Building vexilo ..." >&2
cmake --build "$dir" --target vexilo -j "$(nproc)" >&2
exec "$dir/ui/vexilo" "$@"
