#!/usr/bin/env bash
# Writes a photo-like JPEG corpus for the conversion benchmark: smooth fractal colour fields
# with fine grain, like a photograph's mix of gradients and texture.
#   bench/make_photo_corpus.sh FOLDER [COUNT] [WIDTHxHEIGHT]
# Defaults: 24 images of 4000x3000, quality 92, 4:2:0 chroma subsampling. Reproducible: image i
# uses seed i. Files that exist already are kept.
set -euo pipefail
folder=${1:?usage: make_photo_corpus.sh FOLDER [COUNT] [WIDTHxHEIGHT]}
count=${2:-24}
size=${3:-4000x3000}
mkdir -p "$folder"
command -v convert >/dev/null || { echo "make_photo_corpus.sh: ImageMagick (convert) is needed" >&2; exit 2; }
for ((i = 1; i <= count; i++)); do
  out=$(printf '%s/photo_%02d.jpg' "$folder" "$i")
  [[ -s "$out" ]] && continue
  # The fractal is made small and enlarged: the same look at a fraction of the cost.
  convert -seed "$i" -size 1000x750 plasma:fractal -blur 0x1.5 -resize "$size!" \
          -seed "$i" -attenuate 0.35 +noise Gaussian \
          -sampling-factor 2x2 -quality 92 -strip "$out"
done
