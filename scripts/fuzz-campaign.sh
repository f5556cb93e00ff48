#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz (ASan and UBSan, see scripts/build.sh fuzz) for the given
# CPU-minutes each, two targets at a time, and writes a markdown table of the runs. The time is the
# fuzzer's own CPU time (read from /proc), so other work on the machine only makes the campaign take
# longer, never shorter; the fuzzers run at a lower priority (nice 10).
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

ticks_per_second=$(getconf CLK_TCK)

# CPU ticks (user + system) the process has used so far, 0 once it is gone.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

run_target() {
  local name=$1
  fuzz_arguments "$name"
  mkdir -p "$out/corpus/$name"
  local status=0 limit=$((minutes * 60 * ticks_per_second)) ticks=0 stopped=0
  # The wall-clock limit only guards against a fuzzer that never gets the CPU.
  nice -n 10 "build/fuzz/fuzz/$name" -max_total_time=$((minutes * 60 * 6)) "${fuzz_args[@]}" \
    -print_final_stats=1 -artifact_prefix="$out/findings/$name-" "$out/corpus/$name" \
    $(fuzz_seeds "$name") >"$out/logs/$name.log" 2>&1 &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 2
    local now
    now=$(cpu_ticks "$pid")
    [[ $now -gt 0 ]] && ticks=$now
    if [[ $ticks -ge $limit ]]; then
      stopped=1
      kill -INT "$pid" 2>/dev/null || true
      break
    fi
  done
  wait "$pid" || status=$?
  # libFuzzer exits 72 when interrupted; that is the normal end of a run stopped here.
  [[ $stopped == 1 && $status == 72 ]] && status=0
  echo "$status" >"$out/logs/$name.status"
  echo "$((ticks / ticks_per_second))" >"$out/logs/$name.cpu"
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
  echo "| target | CPU seconds | executions | coverage (cov/ft) | findings |"
  echo "|---|---:|---:|---:|---|"
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
    cpu=$(cat "$out/logs/$name.cpu" 2>/dev/null || echo "?")
    echo "| $name | $cpu | ${execs:-?} | ${coverage:-?} | $findings |"
  done
} >"$report"
echo "Report: $report" >&2
