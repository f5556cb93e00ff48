#!/usr/bin/env bash
# Installs what is missing, builds Vexilo and runs the whole test suite.
#   scripts/test.sh              normal build (gcc)
#   scripts/test.sh --sanitize   the same suite under AddressSanitizer and UBSan (clang)
#   scripts/test.sh --tsan       the threading test under ThreadSanitizer (clang)
#   scripts/test.sh --fuzz       builds the libFuzzer targets and runs each briefly
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-layers.sh
case "${1:-}" in
  "")          variant=release ;;
  --sanitize)  variant=sanitize ;;
  --fuzz)      scripts/build.sh fuzz; exec scripts/fuzz.sh "${FUZZ_SECONDS:-5}" ;;
  --tsan)      scripts/build.sh tsan test_threading
               export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
               exec ctest --test-dir build/tsan --output-on-failure -L tsan --timeout 600 ;;
  *) echo "usage: scripts/test.sh [--sanitize|--tsan|--fuzz]" >&2; exit 2 ;;
esac
scripts/build.sh "$variant"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "build/$variant" --output-on-failure -j "$(nproc)" --timeout 600
