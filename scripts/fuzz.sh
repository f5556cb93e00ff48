#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for a few seconds from its seeds (fuzz/seeds/<target>/),
# with its dictionary and input length limit (fuzz/seeds.txt). A finding is kept in
# build/fuzz/findings/ and fails the run.   scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh
seconds=${1:-5}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for target in build/fuzz/fuzz/*; do
    [[ -f "$target" && -x "$target" ]] && targets+=("$(basename "$target")")  # the folder also holds CMakeFiles/
  done
fi
mkdir -p build/fuzz/findings
status=0
for name in "${targets[@]}"; do
  target=build/fuzz/fuzz/$name
  [[ -x "$target" ]] || { echo "no fuzz target $name" >&2; status=1; continue; }
  fuzz_arguments "$name"
  work=$(mktemp -d)
  echo "== $name (${seconds}s, seeds: $(fuzz_seeds "$name"), ${fuzz_args[*]})"
  if ! "$target" -max_total_time="$seconds" "${fuzz_args[@]}" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/findings/$name-" "$work" $(fuzz_seeds "$name") >"$work.log" 2>&1; then
    tail -n 40 "$work.log"; status=1
  else
    grep -E '^#[0-9]+[[:space:]]+DONE' "$work.log" | tail -n 1 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
