#!/usr/bin/env bash
# The conversion job "fit into 1024 x 768 keeping proportions, bicubic, JPEG quality 80" on a
# photo-like corpus (24 JPEGs of 4000 x 3000, quality 92, 4:2:0), run by vexilo-cli convert and,
# in the same run and alternating with it, by GraphicsMagick and libvips, all single-threaded.
# Prints each tool's wall and CPU time (medians of the rounds), its ratio to GraphicsMagick's
# wall time (the median of the ratios within each round, which a busy machine disturbs least),
# and its peak memory (maximum resident set size of the largest process).
#   bench/convert_vs_peers.sh [ROUNDS]       (default 3)
# Environment: CORPUS (default build/bench-corpus), VEXILO_CLI (default build/release/cli/vexilo-cli).
# Needs: scripts/install-deps.sh --bench (graphicsmagick, libvips-tools, time).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
corpus=$(realpath -m "${CORPUS:-build/bench-corpus}")
cli=$(realpath -m "${VEXILO_CLI:-build/release/cli/vexilo-cli}")
for tool in gm vips /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "convert_vs_peers.sh: $tool missing; run scripts/install-deps.sh --bench" >&2; exit 2; }
done
[[ -x "$cli" ]] || { echo "convert_vs_peers.sh: $cli not built (scripts/build.sh)" >&2; exit 2; }
bench/make_photo_corpus.sh "$corpus"
export OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=("$corpus"/photo_*.jpg)
echo "corpus: ${#files[@]} files in $corpus"

run_vexilo() {
  "$cli" convert --size 1024x768 --filter bicubic --quality 80 --no-progressive --yes-to-all \
    --folder "$1" --name '%name%' --format jpg "${files[@]}" 2>/dev/null
}
# mogrify keeps the relative path of each input below the output folder: run it in the corpus.
run_gm() {
  (cd "$(dirname "${files[0]}")" && gm mogrify -output-directory "$1" -filter Catrom -resize 1024x768 -quality 80 photo_*.jpg)
}
run_vips() {
  local f
  for f in "${files[@]}"; do vips resize "$f" "$1/$(basename "$f")[Q=80]" 0.256 --kernel cubic; done
}

# One measured run: prints "wall-seconds cpu-seconds kilobytes".
measure() {
  local tool=$1 out="$work/out-$1"
  rm -rf "$out"; mkdir -p "$out"
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" bash -c "$(declare -f "run_$tool"); $(declare -p cli files); run_$tool '$out'" >/dev/null
  local n; n=$(ls "$out" | wc -l)
  [[ $n -eq ${#files[@]} ]] || { echo "convert_vs_peers.sh: $tool wrote $n of ${#files[@]} files" >&2; exit 1; }
  awk '{print $1, $2 + $3, $4}' "$work/time"
}

tools=(vexilo gm vips)
declare -A times cpu peak ratios
for ((r = 0; r < rounds; r++)); do
  declare -A wall=()
  for ((k = 0; k < ${#tools[@]}; k++)); do
    tool=${tools[$(((k + r) % ${#tools[@]}))]}
    read -r seconds cpuseconds kb < <(measure "$tool")
    wall[$tool]=$seconds
    times[$tool]+="$seconds "
    cpu[$tool]+="$cpuseconds "
    (( kb > ${peak[$tool]:-0} )) && peak[$tool]=$kb
    echo "round $((r + 1)) $tool: ${seconds} s wall, ${cpuseconds} s CPU, ${kb} KB peak"
  done
  for tool in "${tools[@]}"; do
    ratios[$tool]+="$(awk -v a="${wall[$tool]}" -v b="${wall[gm]}" 'BEGIN {print a / b}') "
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
printf '\n%-8s %10s %12s %10s %10s %12s\n' tool "wall (s)" "per image" "CPU (s)" "vs gm" "peak (MB)"
for tool in "${tools[@]}"; do
  m=$(echo "${times[$tool]}" | median)
  c=$(echo "${cpu[$tool]}" | median)
  q=$(echo "${ratios[$tool]}" | median)
  awk -v t="$tool" -v m="$m" -v c="$c" -v q="$q" -v n="${#files[@]}" -v p="${peak[$tool]}" \
    'BEGIN {printf "%-8s %10.2f %10.3f s %10.2f %9.2fx %12.1f\n", t, m, m / n, c, q, p / 1024}'
done
