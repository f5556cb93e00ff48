#!/usr/bin/env bash
# Installs what is missing, builds Vexilo and starts it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
exec build/release/cli/vexilo-cli "${@:---help}"
