#!/usr/bin/env bash
# Builds the container image of vexilo-cli (dist/Containerfile) from the Debian package that
# scripts/package.sh makes, with podman or else docker.
#   scripts/container.sh [IMAGE]        (default: vexilo-cli:<version>)
# The image is built from a folder that holds only the package and the recipe, so nothing else
# of the checkout or the build tree goes into the build context.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=""
for candidate in podman docker; do
  if command -v "$candidate" >/dev/null; then tool=$candidate; break; fi
done
if [[ -z $tool ]]; then
  echo "container.sh: neither podman nor docker is installed" >&2
  exit 1
fi
deb=$(scripts/package.sh | tail -n 1)
file=$(basename "$deb")
version=${file#vexilo_}
version=${version%%_*}
image=${1:-vexilo-cli:$version}
context=$(mktemp -d)
trap 'rm -rf "$context"' EXIT
cp "$deb" dist/Containerfile "$context/"
"$tool" build -f "$context/Containerfile" --build-arg "VEXILO_DEB=$file" -t "$image" "$context"
echo "$image"
