#!/usr/bin/env bash
# Fails when a folder includes a layer above it. The layers, from the bottom:
layers=(base imaging forms config engine renamer imagelist cli desktop ui)
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  folder=${layers[$i]}
  [[ -d "$folder" ]] || continue
  above=("${layers[@]:$((i + 1))}")
  [[ ${#above[@]} -gt 0 ]] || continue
  pattern="#include \"($(IFS='|'; echo "${above[*]}"))/"
  if hits=$(grep -rnE "$pattern" "$folder" --include='*.h' --include='*.cpp'); then
    echo "$folder includes a layer above it:" >&2
    echo "$hits" >&2
    status=1
  fi
done
exit $status
