#!/usr/bin/env bash
# Converts the same test files with two builds of vexilo-cli and compares the outputs byte for
# byte: a change that should not alter any output must leave every file alike.
#   scripts/same-bytes.sh OLD_CLI NEW_CLI
# The files come from the shared corpus (VEXILO_CORPUS_DIR, default /work/shared/corpus).
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: scripts/same-bytes.sh OLD_CLI NEW_CLI" >&2
  exit 2
fi
old=$(readlink -f "$1")
new=$(readlink -f "$2")
corpus=${VEXILO_CORPUS_DIR:-/work/shared/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A few sources of different kinds; missing ones are skipped.
sources=()
for f in pngsuite/png/basn6a08.png pngsuite/png/basn3p04.png pngsuite/png/basn0g16.png pngsuite/png/basn2c16.png \
         bmpsuite/g/rgb24.bmp bmpsuite/g/pal8.bmp \
         exif-samples/jpg/Canon_40D.jpg \
         gif-test-suite/all-blues.gif \
         tga-ftrvxmtrx/monochrome8_bottom_left.tga tga-ftrvxmtrx/monochrome16_top_left.tga \
         tga-ftrvxmtrx/rgb32_top_left_rle_colormap.tga \
         psd-tools/16bit5x5.psd psd-tools/1layer.psd; do
  for path in "$corpus"/$f; do
    [ -f "$path" ] && sources+=("$path")
  done
done
sources=("${sources[@]:0:16}")
if [ ${#sources[@]} -eq 0 ]; then
  echo "no corpus files found under $corpus" >&2
  exit 2
fi

# Settings: output type, then extra options.
runs=(
  "jpg --quality 80"
  "jpg --quality 95 --no-progressive"
  "png"
  "bmp"
  "gif"
  "tif"
  "tga"
  "psd"
  "dds"
  "jp2"
  "pam"
  "mng --quality 70"
  "jng --quality 70"
  "ico"
)

compared=0
differ=0
for run in "${runs[@]}"; do
  read -r format extra <<<"$run"
  tag=$(echo "$run" | tr ' ' '_')
  for side in old new; do
    dir="$work/$side/$tag"
    mkdir -p "$dir"
    cli=$old
    [ "$side" = new ] && cli=$new
    # shellcheck disable=SC2086
    "$cli" convert --size 200x150 --format "$format" $extra --folder "$dir" --name '%0num%-%name%' \
      --yes-to-all "${sources[@]}" >/dev/null 2>&1 || true
  done
  for a in "$work/old/$tag"/*; do
    [ -e "$a" ] || continue
    b="$work/new/$tag/$(basename "$a")"
    compared=$((compared + 1))
    if ! cmp -s "$a" "$b"; then
      echo "differs: $tag/$(basename "$a")"
      differ=$((differ + 1))
    fi
  done
  for b in "$work/new/$tag"/*; do
    [ -e "$b" ] || continue
    [ -e "$work/old/$tag/$(basename "$b")" ] || { echo "only new: $tag/$(basename "$b")"; differ=$((differ + 1)); }
  done
done
echo "$compared outputs compared, $differ differ"
[ "$compared" -gt 0 ] && [ "$differ" -eq 0 ]
