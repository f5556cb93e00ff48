#!/usr/bin/env bash
# Compiles every source file of the image library (imaging/) and of base/ for arm64 with
# Debian's cross compiler, without linking: the plain inner loops stand in for the SSE2 ones
# there, and a vector path that left no plain one beside it fails here.
#   scripts/cross-compile-check.sh
# Installs the cross compiler the way scripts/install-deps.sh installs packages. The codec
# libraries' arm64 headers come from their Debian -dev packages, downloaded and unpacked into
# build/cross-arm64/sysroot rather than installed: installing them beside the amd64 ones would
# pull the machine's amd64 libraries along to the same versions.
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=aarch64-linux-gnu-g++
header_packages=(zlib1g-dev libjpeg62-turbo-dev libtiff-dev libopenjp2-7-dev libwebp-dev liblcms2-dev
                 libavif-dev libheif-dev libjxl-dev)
work=build/cross-arm64
sysroot=$work/sysroot

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if ! dpkg-query -W -f='${Status}' g++-aarch64-linux-gnu 2>/dev/null | grep -q "install ok installed"; then
  echo "Installing: g++-aarch64-linux-gnu" >&2
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends g++-aarch64-linux-gnu >/dev/null
fi

# The headers, downloaded again when the list of packages changes.
stamp=$sysroot/.packages
if [[ ! -f $stamp ]] || ! diff -q <(printf '%s\n' "${header_packages[@]}") "$stamp" >/dev/null; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
    $sudo apt-get update -qq
  fi
  rm -rf "$work/debs" "$sysroot"
  mkdir -p "$work/debs" "$sysroot"
  if ! (cd "$work/debs" && apt-get download -qq "${header_packages[@]/%/:arm64}" >/dev/null 2>&1); then
    # The package lists may predate the arm64 architecture or the current versions.
    $sudo apt-get update -qq
    (cd "$work/debs" && apt-get download -qq "${header_packages[@]/%/:arm64}" >/dev/null)
  fi
  for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  printf '%s\n' "${header_packages[@]}" >"$stamp"
fi

# The release build's warnings and floating-point rule; headers of the libraries after the
# compiler's own, so that they can never stand in for the target's C library.
flags=(-std=c++20 -O2 -Wall -Wextra -Werror -Wno-restrict -ffp-contract=off -I.
       -idirafter "$sysroot/usr/include" -idirafter "$sysroot/usr/include/aarch64-linux-gnu")
# OpenJPEG keeps its headers in a folder of their own, which its pkg-config file names.
for option in $(PKG_CONFIG_LIBDIR="$sysroot/usr/lib/aarch64-linux-gnu/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$sysroot" \
                pkg-config --cflags-only-I libopenjp2); do
  flags+=(-idirafter "${option#-I}")
done

mapfile -t sources < <(git ls-files -co --exclude-standard 'imaging/*.cpp' 'base/*.cpp')
echo "Compiling ${#sources[@]} files for arm64 with $($compiler -dumpfullversion)"
# One compiler per core; xargs reports a failing file and the script fails with it.
printf '%s\n' "${sources[@]}" |
  xargs -P "$(nproc)" -I{} "$compiler" "${flags[@]}" -c {} -o /dev/null
echo "All ${#sources[@]} files compile for arm64."
