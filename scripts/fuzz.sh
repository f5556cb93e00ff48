#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for a few seconds, seeded from the corpus folders that
# fuzz/seeds.txt names for it.   scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
corpus=${VEXILO_CORPUS_DIR:-}
for candidate in ../shared/corpus ../../shared/corpus; do
  [[ -z "$corpus" && -d "$candidate" ]] && corpus=$(cd "$candidate" && pwd)
done
status=0
for target in build/fuzz/fuzz/*; do
  [[ -f "$target" && -x "$target" ]] || continue  # the folder also holds CMakeFiles/
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  while read -r t dirs; do
    [[ "$t" == "$name" ]] || continue
    for d in $dirs; do [[ -d "$corpus/$d" ]] && seeds+=("$corpus/$d"); done
  done < <(grep -v '^#' fuzz/seeds.txt 2>/dev/null || true)
  echo "== $name (${seconds}s, ${#seeds[@]} seed folders)"
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=1048576 \
        -print_final_stats=0 "$work" "${seeds[@]}" >"$work.log" 2>&1; then
    tail -n 40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
