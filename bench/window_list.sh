#!/usr/bin/env bash
# The desktop program's image list at scale: the program is started with COUNT small bitmaps on
# its command line, and the CPU time of its process (all its threads, user and system) is read
# from /proc once every file is in the list and the process has gone idle (its CPU time grew by
# less than 20 ms in the last second). Every count runs ROUNDS times; the median is printed, with
# the time per file, so that a count twice as large shows whether the cost grows linearly.
#
#   bench/window_list.sh [COUNT...]          (default: 2500 5000 10000)
# Environment: VEXILO (default build/release/ui/vexilo), ROUNDS (default 3), QT_QPA_PLATFORM
# (default offscreen; with DISPLAY set and QT_QPA_PLATFORM=xcb the window is really drawn).
# The bitmaps are written once into a folder under the temporary folder and kept.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath -m "${VEXILO:-build/release/ui/vexilo}")
rounds=${ROUNDS:-3}
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(2500 5000 10000)
[[ -x "$program" ]] || { echo "window_list.sh: $program not built (scripts/build.sh release vexilo)" >&2; exit 2; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ticks=$(getconf CLK_TCK)
work=$(mktemp -d)
pid=
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The pictures: 24-bit bitmaps of sizes that differ from file to file.
folder="${TMPDIR:-/tmp}/vexilo-bench-window-list"
mkdir -p "$folder"
largest=$(printf '%s\n' "${counts[@]}" | sort -n | tail -1)
python3 - "$folder" "$largest" <<'EOF'
import os, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    path = os.path.join(folder, "img_%05d.bmp" % i)
    if os.path.exists(path):
        continue
    w, h = 16 + i % 50, 12 + i % 37
    row = (w * 3 + 3) & ~3
    pixels = bytes((x * 7 + i) & 255 for x in range(row)) * h
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)
EOF

cpu_seconds() {  # utime + stime of the process, in seconds
  local fields
  read -ra fields < <(sed 's/^.*) //' "/proc/$1/stat")
  echo "scale=3; (${fields[11]} + ${fields[12]}) / $ticks" | bc
}

measure() {  # one start with the first $1 files; prints the CPU seconds until idle
  local count=$1 files=() i
  for ((i = 0; i < count; i++)); do files+=("$(printf '%s/img_%05d.bmp' "$folder" "$i")"); done
  rm -rf "$work/home" "$work/count"
  VEXILO_HOME="$work/home" VEXILO_COUNT_FILE="$work/count" "$program" --no-splash "${files[@]}" \
    >/dev/null 2>&1 &
  pid=$!
  local deadline=$((SECONDS + 600))
  until [[ "$(cat "$work/count" 2>/dev/null)" == "$count" ]]; do
    ((SECONDS < deadline)) || { echo "window_list.sh: $count files not listed within 600 s" >&2; exit 1; }
    sleep 0.2
  done
  local before after
  after=$(cpu_seconds "$pid")
  while :; do
    before=$after
    sleep 1
    after=$(cpu_seconds "$pid")
    [[ $(echo "$after - $before < 0.02" | bc) == 1 ]] && break
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  echo "$before"
}

printf '%8s %12s %14s\n' files "CPU s" "CPU ms/1000"
for count in "${counts[@]}"; do
  results=()
  for ((r = 0; r < rounds; r++)); do results+=("$(measure "$count")"); done
  median=$(printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")
  printf '%8d %12.2f %14.0f\n' "$count" "$median" "$(echo "$median * 1000000 / $count" | bc -l)"
done
