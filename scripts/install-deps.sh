#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Vexilo need.
# Idempotent: prints nothing and installs nothing when everything is present.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # codec libraries and XML
  zlib1g-dev libjpeg62-turbo-dev libtiff-dev libopenjp2-7-dev libxml2-dev libwebp-dev
  libavif-dev libheif-dev libjxl-dev
  # colour profiles
  liblcms2-dev
  # user interface
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  # independent decoders used as test oracles
  imagemagick netpbm libtiff-tools libopenjp2-tools pngcheck libimage-exiftool-perl
  libjpeg-turbo-progs libpng-dev xvfb python3-psd-tools webp libavif-bin libheif-examples
  libjxl-tools
  # GNU parallel runs the parts of one list at once (--shard) in the command-line tests
  parallel
  # validators of the installed desktop entry and metainfo, the MIME database tool, and
  # dpkg-shlibdeps for the Debian package
  desktop-file-utils appstream shared-mime-info dpkg-dev
)
# Peer tools of the benchmark scripts under bench/ (not needed by the tests).
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(graphicsmagick libvips-tools hyperfine time)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
