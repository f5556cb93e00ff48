#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz (ASan and UBSan, see scripts/build.sh fuzz) for the given
# CPU-minutes each, two targets at a time, and writes a markdown table of the runs.
#   scripts/fuzz-campaign.sh <minutes-per-target> [report.md] [target...]
# Every target keeps its grown corpus in build/fuzz/campaign/corpus/<target>/ (a later campaign
# goes on from there) and its findings in build/fuzz/campaign/findings/; a target stops at its
# first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh
minutes=${1:?usage: scripts/fuzz-campaign.sh <minutes-per-target> [report.md] [target...]}
[[ "$minutes" =~ ^[0-9]+$ && "$minutes" -gt 0 ]] || { echo "minutes must be a positive whole number" >&2; exit 2; }
report=${2:-build/fuzz/campaign/report.md}
shift $(( $# < 2 ? $# : 2 ))
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for target in build/fuzz/fuzz/*; do
    [[ -f "$target" && -x "$target" ]] && targets+=("$(basename "$target")")
  done
fi
[[ ${#targets[@]} -gt 0 ]] || { echo "no fuzz targets in build/fuzz: run scripts/build.sh fuzz first" >&2; exit 2; }
out=build/fuzz/campaign
mkdir -p "$out/findings" "$out/logs" "$(dirname "$report")"
stamp=$out/logs/.started  # findings newer than this belong to this campaign
touch "$stamp"

run_target() {
  local name=$1
  fuzz_arguments "$name"
  mkdir -p "$out/corpus/$name"
  local status=0
  "build/fuzz/fuzz/$name" -max_total_time=$((minutes * 60)) "${fuzz_args[@]}" -print_final_stats=1 \
    -artifact_prefix="$out/findings/$name-" "$out/corpus/$name" $(fuzz_seeds "$name") \
    >"$out/logs/$name.log" 2>&1 || status=$?
  echo "$status" >"$out/logs/$name.status"
}

echo "Fuzzing ${#targets[@]} targets for $minutes minute(s) each, two at a time." >&2
running=0
for name in "${targets[@]}"; do
  if [[ $running -ge 2 ]]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "  started $name" >&2
  run_target "$name" &
  running=$((running + 1))
done
wait || true

{
  echo "# Fuzz campaign, $minutes CPU-minute(s) per target ($(date -u '+%Y-%m-%d %H:%M UTC'))"
  echo
  echo "| target | executions | coverage (cov/ft) | findings |"
  echo "|---|---:|---:|---|"
  for name in "${targets[@]}"; do
    log=$out/logs/$name.log
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 | sed -E 's/cov: ([0-9]+) ft: ([0-9]+)/\1\/\2/')
    findings=$(find "$out/findings" -maxdepth 1 -name "$name-*" -newer "$stamp" -printf '%f\n' 2>/dev/null |
               sort | paste -sd ' ' -)
    status=$(cat "$out/logs/$name.status" 2>/dev/null || echo "?")
    if [[ -z "$findings" ]]; then
      findings=$([[ "$status" == 0 ]] && echo "none" || echo "run failed (exit $status, see $log)")
    fi
    echo "| $name | ${execs:-?} | ${coverage:-?} | $findings |"
  done
} >"$report"
echo "Report: $report" >&2
