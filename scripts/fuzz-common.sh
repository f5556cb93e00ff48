# Shared by scripts/fuzz.sh and scripts/fuzz-campaign.sh (sourced, not run): the libFuzzer
# arguments of one target from fuzz/seeds.txt, its seed folder and its dictionary. The targets
# keep to inputs of at most 2^22 pixels where the header tells, so an input that makes the
# process grow beyond 1 GiB, or ask for 1 GiB at once, costs more than any picture it can
# hold: libFuzzer reports it as a finding (a decompression bomb), not as a slow run.
#   fuzz_arguments <target-name>   fills the array fuzz_args
fuzz_arguments() {
  local name=$1 max_len=4096 t len
  while read -r t len _; do
    [[ "$t" == "$name" ]] && max_len=$len
  done < <(grep -v '^#' fuzz/seeds.txt 2>/dev/null || true)
  fuzz_args=(-max_len="$max_len" -rss_limit_mb=1024 -malloc_limit_mb=1024 -timeout=10)
  [[ -f "fuzz/${name#fuzz_}.dict" ]] && fuzz_args+=(-dict="fuzz/${name#fuzz_}.dict")
  return 0
}
# The seed folder of a target, or nothing when it has none.
fuzz_seeds() {
  [[ -d "fuzz/seeds/$1" ]] && echo "fuzz/seeds/$1"
  return 0
}
