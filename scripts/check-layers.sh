#!/usr/bin/env bash
# Fails when a folder includes a layer above it, or when a file repeats the name of a folder it
# sits in ("imaging/formats/ImagingGif.cpp"): the path already says where a file belongs.
# The layers, from the bottom:
layers=(base imaging forms config engine renamer imagelist cli desktop ui)
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  folder=${layers[$i]}
  [[ -d "$folder" ]] || continue
  above=("${layers[@]:$((i + 1))}")
  [[ ${#above[@]} -gt 0 ]] || continue
  pattern="#include \"($(IFS='|'; echo "${above[*]}"))/"
  if hits=$(grep -rnE "$pattern" "$folder" --include='*.h' --include='*.cpp'); then
    echo "$folder includes a layer above it:" >&2
    echo "$hits" >&2
    status=1
  fi
done

# A file name may not begin with the name of a folder above it, ignoring case, unless the
# folder's name runs on into a longer word ("config/Configuration.cpp" is fine).
if hits=$(git ls-files | grep -vE '^(tests/data|fuzz/seeds)/' | awk -F/ '{
    file = tolower($NF)
    for (i = 1; i < NF; i++) {
      folder = tolower($i)
      if (index(file, folder) == 1 && substr($NF, length(folder) + 1, 1) !~ /[a-z]/) { print; break }
    }
  }'); [[ -n "$hits" ]]; then
  echo "files named after a folder they sit in:" >&2
  echo "$hits" >&2
  status=1
fi
exit $status
