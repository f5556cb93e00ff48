#!/usr/bin/env bash
# vexilo-cli convert against GraphicsMagick and libvips on the same inputs, in one run, the
# tools alternating within each round so that a busy machine disturbs them alike.
#
# Two batches:
#   jpeg  JPEG_COUNT photo-like JPEGs of JPEG_SIZE (quality 92, 4:2:0), fit into 1024 x 768
#         keeping proportions, bicubic, JPEG quality 80 (defaults: 24 of 4000x3000);
#   png   PNG_COUNT RGBA PNGs of PNG_SIZE, fit into 1000 x 750, PNG at each tool's default
#         compression (defaults: 8 of 2000x1500).
# Each tool runs single-threaded ("-1": vexilo-cli --jobs 1, OMP_NUM_THREADS=1,
# VIPS_CONCURRENCY=1) and with its default threads ("-n": vexilo-cli without --jobs, as many
# files in flight as the machine has cores). vipsthumbnail resamples with its own kernel
# (lanczos3); vips resize with --kernel cubic; gm mogrify with Catrom (bicubic).
#
# Prints for every tool its wall and CPU time (medians of the rounds), the wall time's ratio to
# vexilo-cli --jobs 1 (the median of the ratios within each round) and its peak memory (the
# maximum resident set size of its largest process, from /usr/bin/time -v). Before the rounds a
# probe shows what two CPU-bound processes get from the machine's cores at once: on a shared
# or throttled machine it is less than two, and the multi-threaded figures mean no more.
#
#   bench/convert_vs_peers.sh [ROUNDS]       (default 3)
# Environment: CORPUS (default build/bench-corpus), VEXILO_CLI (default build/release/cli/vexilo-cli),
# JPEG_COUNT, JPEG_SIZE, PNG_COUNT, PNG_SIZE, BATCHES (default "jpeg png").
# A quick check that the script works: JPEG_COUNT=2 JPEG_SIZE=800x600 PNG_COUNT=2 PNG_SIZE=400x300 bench/convert_vs_peers.sh 1
# Needs: scripts/install-deps.sh --bench (graphicsmagick, libvips-tools, time); a tool that
# is missing is left out of the table.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
corpus=$(realpath -m "${CORPUS:-build/bench-corpus}")
cli=$(realpath -m "${VEXILO_CLI:-build/release/cli/vexilo-cli}")
jpeg_count=${JPEG_COUNT:-24} jpeg_size=${JPEG_SIZE:-4000x3000}
png_count=${PNG_COUNT:-8} png_size=${PNG_SIZE:-2000x1500}
batches=(${BATCHES:-jpeg png})
[[ -x /usr/bin/time ]] || { echo "convert_vs_peers.sh: /usr/bin/time missing; run scripts/install-deps.sh --bench" >&2; exit 2; }
command -v convert >/dev/null || { echo "convert_vs_peers.sh: ImageMagick (convert) is needed for the corpus" >&2; exit 2; }
[[ -x "$cli" ]] || { echo "convert_vs_peers.sh: $cli not built (scripts/build.sh)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tools that are installed.
tools=(vexilo-1 vexilo-n)
for peer in gm vips vipsthumbnail; do
  if command -v "$peer" >/dev/null; then tools+=("$peer-1" "$peer-n"); else echo "note: $peer not installed, left out" >&2; fi
done

# ---- the machine's parallel probe -------------------------------------------------------------
busy_loop() { awk 'BEGIN { for (i = 0; i < 12000000; i++) s += i * 0.5; print s > "/dev/null" }'; }
now() { date +%s.%N; }
t0=$(now); busy_loop; t1=$(now)
busy_loop & busy_loop & wait
t2=$(now)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$(nproc)" 'BEGIN {
  one = b - a; two = c - b
  printf "parallel probe (%d cores): one busy loop %.2f s, two at once %.2f s: two processes get %.2f cores\n",
         n, one, two, 2 * one / two }'

# ---- the corpora ------------------------------------------------------------------------------
jpeg_dir="$corpus/jpeg-$jpeg_size"
png_dir="$corpus/png-$png_size"
make_corpora() {
  bench/make_photo_corpus.sh "$jpeg_dir" "$jpeg_count" "$jpeg_size"
  mkdir -p "$png_dir"
  local i out
  for ((i = 1; i <= png_count; i++)); do
    out=$(printf '%s/art_%02d.png' "$png_dir" "$i")
    [[ -s "$out" ]] && continue
    # A colour field with a grey-level field as its alpha channel.
    convert -seed "$i" -size 500x375 plasma:fractal -resize "$png_size!" \
            \( -seed "$((i + 100))" -size 250x188 plasma:fractal -colorspace gray -resize "$png_size!" \) \
            -alpha off -compose CopyOpacity -composite "PNG32:$out"
  done
}
make_corpora

# ---- one run of a tool on a batch -------------------------------------------------------------
# Globals of the batch: files, box (WxH), scale (vips resize factor), ext (output type).
run_tool() {  # tool out-folder
  local tool=$1 out=$2 f
  case $tool in
    vexilo-1|vexilo-n)
      local jobs=(); [[ $tool == vexilo-1 ]] && jobs=(--jobs 1)
      "$cli" convert "${jobs[@]}" --size "$box" --filter bicubic --quality 80 --no-progressive --yes-to-all \
        --folder "$out" --name '%name%' --format "$ext" "${files[@]}" 2>/dev/null ;;
    gm-*)
      # mogrify keeps the relative path of each input below the output folder: run it in the corpus.
      (cd "$(dirname "${files[0]}")" && gm mogrify -output-directory "$out" -filter Catrom -resize "$box" \
         -quality 80 -format "$ext" "${files[@]##*/}") ;;
    vips-*)
      local q="[Q=80]"; [[ $ext == png ]] && q=""
      for f in "${files[@]}"; do
        vips resize "$f" "$out/$(basename "${f%.*}").$ext$q" "$scale" --kernel cubic
      done ;;
    vipsthumbnail-*)
      local q="[Q=80]"; [[ $ext == png ]] && q=""
      vipsthumbnail -s "$box" -o "$out/%s.$ext$q" "${files[@]}" ;;
  esac
}

# One measured run: prints "wall-seconds cpu-seconds kilobytes".
measure() {  # tool
  local tool=$1 out="$work/out-$1"
  rm -rf "$out"; mkdir -p "$out"
  local threads=(env OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1)
  [[ $tool == *-n ]] && threads=(env -u OMP_NUM_THREADS -u VIPS_CONCURRENCY -u MAGICK_THREAD_LIMIT)
  "${threads[@]}" /usr/bin/time -v -o "$work/time" \
    bash -c "$(declare -f run_tool); $(declare -p cli files box scale ext); run_tool $tool '$out'" >/dev/null
  local n; n=$(ls "$out" | wc -l)
  [[ $n -eq ${#files[@]} ]] || { echo "convert_vs_peers.sh: $tool wrote $n of ${#files[@]} files" >&2; exit 1; }
  awk -F': ' '
    /User time/ { cpu += $2 } /System time/ { cpu += $2 } /Maximum resident/ { kb = $2 }
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
    END { print wall, cpu, kb }' "$work/time"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

bench_batch() {  # name
  local name=$1
  if [[ $name == jpeg ]]; then
    files=("$jpeg_dir"/photo_*.jpg); files=("${files[@]:0:$jpeg_count}")
    box=1024x768 ext=jpg source=$jpeg_size
  else
    files=("$png_dir"/art_*.png); files=("${files[@]:0:$png_count}")
    box=1000x750 ext=png source=$png_size
  fi
  scale=$(awk -v s="$source" -v b="$box" 'BEGIN { split(s, a, "x"); split(b, c, "x");
    f = c[1] / a[1]; if (c[2] / a[2] < f) f = c[2] / a[2]; print f }')
  echo; echo "== $name: ${#files[@]} files of $source -> fit $box $ext"
  declare -A times=() cpu=() peak=() ratios=()
  local r k tool seconds cpuseconds kb
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
      ratios[$tool]+="$(awk -v a="${wall[$tool]}" -v b="${wall[vexilo-1]}" 'BEGIN {print a / b}') "
    done
  done
  printf '\n%-16s %10s %12s %10s %12s %12s\n' "$name" "wall (s)" "per image" "CPU (s)" "vs vexilo-1" "peak (MB)"
  for tool in "${tools[@]}"; do
    awk -v t="$tool" -v m="$(echo "${times[$tool]}" | median)" -v c="$(echo "${cpu[$tool]}" | median)" \
        -v q="$(echo "${ratios[$tool]}" | median)" -v n="${#files[@]}" -v p="${peak[$tool]}" \
      'BEGIN {printf "%-16s %10.2f %10.3f s %10.2f %11.2fx %12.1f\n", t, m, m / n, c, q, p / 1024}'
  done
}

for batch in "${batches[@]}"; do bench_batch "$batch"; done
