#!/usr/bin/env bash
# Configures and builds Vexilo into build/<variant>.
#   scripts/build.sh [release|release3|sanitize|tsan|fuzz|bench] [target...]
# release also compiles the benchmarks (not run), so they keep building; release3 is the fully
# optimised (-O3) build that packagers make. With targets, only those
# are built.
set -euo pipefail
cd "$(dirname "$0")/.."
variant=${1:-release}
jobs=$(nproc)
case "$variant" in
  release)  dir=build/release; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_BUILD_BENCH=ON) ;;
  release3) dir=build/release3; args=(-DCMAKE_BUILD_TYPE=Release -DVEXILO_BUILD_GUI=OFF) ;;
  sanitize) dir=build/sanitize; args=(-DCMAKE_BUILD_TYPE=Debug -DVEXILO_SANITIZE=ON -DVEXILO_BUILD_GUI=OFF
                                      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-O1) ;;
  tsan)     dir=build/tsan; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_TSAN=ON -DVEXILO_BUILD_GUI=OFF
                                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  fuzz)     dir=build/fuzz; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILO_SANITIZE=ON -DVEXILO_FUZZ=ON
                                  -DVEXILO_BUILD_TESTS=OFF -DVEXILO_BUILD_GUI=OFF
                                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  bench)    dir=build/bench; args=(-DCMAKE_BUILD_TYPE=Release -DVEXILO_BUILD_BENCH=ON -DVEXILO_BUILD_TESTS=OFF
                                   -DVEXILO_BUILD_GUI=OFF) ;;
  *) echo "unknown build variant: $variant" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DVEXILO_WERROR=ON "${args[@]}" >/dev/null
shift || true
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$dir" -j "$jobs" "${targets[@]}"
