#!/usr/bin/env bash
# Encode and decode times of Vexilo's WebP, AVIF, HEIC and JPEG XL codecs next to the command-line tools
# of the same libraries, on one photo, in one run; within each round the two sides of a row
# alternate in order so that a busy machine disturbs them alike.
#
# The photo is a photo-like JPEG of SIZE (bench/make_photo_corpus.sh, default 4000x3000).
# Encode: the JPEG to each format with `vexilo-cli transcode` (the codecs' own defaults) and with
# the tool at the same settings:
#   WebP  quality 90, method 4                     cwebp -q 90 -m 4
#   AVIF  quality 60 (quantizer 25), 4:2:0, speed 6  avifenc -j 1 -s 6 --min 25 --max 25 -y 420
#   HEIC  quality 50 (libheif's x265)              heif-enc -q 50
#   JXL   quality 90 (distance 1.0), effort 7      cjxl -q 90 -e 7 --lossless_jpeg=0 --num_threads=0
#         (pixels, not cjxl's lossless recompression of the JPEG; no worker threads)
# Decode: the tool's file of each format (both sides read the same bytes) with
# `vexilo-cli transcode X out.ppm` (binary PPM) against dwebp -ppm, avifdec -j 1 --png-compress 0
# (RGB in a stored PNG), heif-convert to y4m (the decoded YUV, no conversion to RGB) and
# djxl --num_threads=1 to binary PPM. The JPEG XL codec runs libjxl on the calling thread.
# libaom and dav1d run with one thread on both sides; libheif's x265 and libde265 with their
# own defaults on both.
#
# Prints, per format and step, each side's wall and CPU time (medians of the rounds), its ratio
# to the tool's (the median of the ratios within each round) and the output size.
#
#   bench/codecs_vs_tools.sh [ROUNDS]       (default 3)
# Environment: CORPUS (default build/bench-corpus), VEXILO_CLI (default build/release/cli/vexilo-cli),
# SIZE (default 4000x3000), FORMATS (default "webp avif heic jxl").
# A quick check that the script works: SIZE=640x480 bench/codecs_vs_tools.sh 1
# Needs: webp, libavif-bin, libheif-examples, libjxl-tools (scripts/install-deps.sh) and /usr/bin/time; a
# format whose tools are missing is left out.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
corpus=$(realpath -m "${CORPUS:-build/bench-corpus}")
cli=$(realpath -m "${VEXILO_CLI:-build/release/cli/vexilo-cli}")
size=${SIZE:-4000x3000}
formats=(${FORMATS:-webp avif heic jxl})
[[ -x /usr/bin/time ]] || { echo "codecs_vs_tools.sh: /usr/bin/time missing; run scripts/install-deps.sh --bench" >&2; exit 2; }
[[ -x "$cli" ]] || { echo "codecs_vs_tools.sh: $cli not built (scripts/build.sh)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photo_dir="$corpus/jpeg-$size"
bench/make_photo_corpus.sh "$photo_dir" 1 "$size"
photo="$photo_dir/photo_01.jpg"

tools_of() {  # format -> the tools it needs
  case $1 in webp) echo "cwebp dwebp" ;; avif) echo "avifenc avifdec" ;; heic) echo "heif-enc heif-convert" ;; jxl) echo "cjxl djxl" ;; esac
}
available=()
for format in "${formats[@]}"; do
  missing=""
  for tool in $(tools_of "$format"); do command -v "$tool" >/dev/null || missing+=" $tool"; done
  if [[ -n $missing ]]; then echo "note: $format left out, missing:$missing" >&2; else available+=("$format"); fi
done

# One command of a side; the output goes to $work/out.*.
run_side() {  # format step side
  local format=$1 step=$2 side=$3 source="$work/tool.$1"
  case $step-$side in
    encode-vexilo) "$cli" transcode "$photo" "$work/out.$format" ;;
    encode-tool)
      case $format in
        webp) cwebp -quiet -q 90 -m 4 "$photo" -o "$work/out.webp" ;;
        avif) avifenc -j 1 -s 6 --min 25 --max 25 -y 420 "$photo" "$work/out.avif" ;;
        heic) heif-enc -q 50 "$photo" -o "$work/out.heic" ;;
        jxl) cjxl -q 90 -e 7 --lossless_jpeg=0 --num_threads=0 "$photo" "$work/out.jxl" ;;
      esac ;;
    decode-vexilo) "$cli" transcode "$source" "$work/out.ppm" ;;
    decode-tool)
      case $format in
        webp) dwebp -quiet -ppm "$source" -o "$work/out.ppm" ;;
        avif) avifdec -j 1 --png-compress 0 "$source" "$work/out.png" ;;
        heic) heif-convert --quiet "$source" "$work/out.y4m" ;;
        jxl) djxl --num_threads=1 "$source" "$work/out.ppm" ;;
      esac ;;
  esac
}

# One measured run: prints "wall-seconds cpu-seconds output-bytes".
measure() {  # format step side
  rm -f "$work"/out.*
  /usr/bin/time -f "%e %U %S" -o "$work/time" \
    bash -c "$(declare -f run_side); $(declare -p cli photo work); run_side $1 $2 $3" >/dev/null 2>&1 ||
    { echo "codecs_vs_tools.sh: $3 failed to $2 $1" >&2; exit 1; }
  local bytes; bytes=$(stat -c %s "$work"/out.* | head -n 1)
  awk -v b="$bytes" '{ print $1, $2 + $3, b }' "$work/time"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "photo: $photo ($size, $(stat -c %s "$photo") bytes)"
printf '\n%-6s %-7s %-12s %10s %10s %10s %12s\n' format step side "wall (s)" "CPU (s)" "vs tool" "output (KB)"
for format in "${available[@]}"; do
  # The file both sides decode: the tool's own encoding of the photo.
  case $format in
    webp) cwebp -quiet -q 90 -m 4 "$photo" -o "$work/tool.webp" ;;
    avif) avifenc -j 1 -s 6 --min 25 --max 25 -y 420 "$photo" "$work/tool.avif" >/dev/null ;;
    heic) heif-enc -q 50 "$photo" -o "$work/tool.heic" >/dev/null ;;
    jxl) cjxl -q 90 -e 7 --lossless_jpeg=0 --num_threads=0 "$photo" "$work/tool.jxl" >/dev/null 2>&1 ;;
  esac
  for step in encode decode; do
    declare -A wall=() cpu=() bytes=() ratios=()
    for ((r = 0; r < rounds; r++)); do
      sides=(vexilo tool); ((r % 2)) && sides=(tool vexilo)
      declare -A round=()
      for side in "${sides[@]}"; do
        read -r seconds cpuseconds outbytes < <(measure "$format" "$step" "$side")
        wall[$side]+="$seconds "; cpu[$side]+="$cpuseconds "; bytes[$side]=$outbytes; round[$side]=$seconds
      done
      ratios[vexilo]+="$(awk -v a="${round[vexilo]}" -v b="${round[tool]}" 'BEGIN { print (b > 0) ? a / b : 0 }') "
      ratios[tool]+="1 "
    done
    for side in vexilo tool; do
      name=vexilo-cli
      if [[ $side == tool ]]; then
        case $step-$format in
          encode-webp) name=cwebp ;; encode-avif) name=avifenc ;; encode-heic) name=heif-enc ;; encode-jxl) name=cjxl ;;
          decode-webp) name=dwebp ;; decode-avif) name=avifdec ;; decode-heic) name=heif-convert ;; decode-jxl) name=djxl ;;
        esac
      fi
      awk -v f="$format" -v s="$step" -v t="$name" -v w="$(echo "${wall[$side]}" | median)" \
          -v c="$(echo "${cpu[$side]}" | median)" -v q="$(echo "${ratios[$side]}" | median)" -v b="${bytes[$side]}" \
        'BEGIN { printf "%-6s %-7s %-12s %10.2f %10.2f %9.2fx %12s\n", f, s, t, w, c, q,
                 s == "encode" ? sprintf("%.0f", b / 1024) : "-" }'
    done
  done
done
