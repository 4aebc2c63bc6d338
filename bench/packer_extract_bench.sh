#!/usr/bin/env bash
# `sfxpack extract` of the same data packed twice, plain and encrypted, timed
# in one run and set side by side: the ratio is what the password costs
# (goal: at most 2). Run from anywhere:
#   bash bench/packer_extract_bench.sh
# The data are about 200 MB in seven files of 10 to 40 MB, text-like, random
# and mixed, like the large case of bench/extract_bench.cpp, generated with a
# fixed seed. Each figure is the best of ROUNDS runs (default 5) in which
# plain and encrypted take turns, each into a fresh folder; removing the
# folder is not timed.
#
# SFXPACK names another packer to time (for example an older build), STUB
# the 32-bit stub to pack with; by default both are built here.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${ROUNDS:-5}

if [ -z "${SFXPACK:-}" ] || [ -z "${STUB:-}" ]; then
  cmake --preset host >/dev/null
  cmake --build --preset host --target sfxpack >/dev/null
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target sfxstub >/dev/null
fi
sfxpack=${SFXPACK:-$root/build/host/bin/sfxpack}
stub=${STUB:-$root/build/win32/bin/sfxstub.exe}

work=$(mktemp -d /tmp/packer_extract_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "generating about 200 MB of data..."
python3 bench/bench_data.py extract "$work/data"

export BENCH_PASSWORD=correct-horse
"$sfxpack" build -q --stub "$stub" -o "$work/plain.exe" "$work/data"
"$sfxpack" build -q --stub "$stub" --password-env BENCH_PASSWORD -o "$work/encrypted.exe" "$work/data"
rm -rf "$work/data"

# Wall-clock and CPU seconds (user + system) of one extraction into a fresh
# folder. On a busy machine the CPU time is the steadier of the two.
time_extract() {
  local package=$1 out=$work/out times
  rm -rf "$out"
  local TIMEFORMAT="%3R %3U %3S"
  if [ "$package" = encrypted ]; then
    times=$( { time "$sfxpack" extract -q --password-env BENCH_PASSWORD -d "$out" "$work/encrypted.exe" >/dev/null; } 2>&1 )
  else
    times=$( { time "$sfxpack" extract -q -d "$out" "$work/plain.exe" >/dev/null; } 2>&1 )
  fi
  rm -rf "$out"
  echo "$times" | awk '{ printf "%.3f %.3f", $1, $2 + $3 }'
}

# Keeps the smaller wall and the smaller CPU time of "wall cpu" pairs.
best() { awk -v a="$1" -v b="$2" 'BEGIN {
  if (a == "") { print b; exit }
  split(a, x, " "); split(b, y, " ")
  printf "%.3f %.3f", (y[1] < x[1] ? y[1] : x[1]), (y[2] < x[2] ? y[2] : x[2]) }'; }

plain="" encrypted=""
for round in $(seq 1 "$rounds"); do
  # The order alternates, so neither always runs after the other's writes.
  if [ $((round % 2)) -eq 1 ]; then
    plain=$(best "$plain" "$(time_extract plain)")
    encrypted=$(best "$encrypted" "$(time_extract encrypted)")
  else
    encrypted=$(best "$encrypted" "$(time_extract encrypted)")
    plain=$(best "$plain" "$(time_extract plain)")
  fi
done

size() { stat -c %s "$1"; }
echo
echo "sfxpack extract, 200 MB in 7 files, best of $rounds, plain and encrypted taking turns"
awk -v p="$plain" -v e="$encrypted" -v ps="$(size "$work/plain.exe")" -v es="$(size "$work/encrypted.exe")" 'BEGIN {
  split(p, pt, " "); split(e, et, " ")
  printf "%-10s %8s %10s %10s %10s\n", "package", "MB", "wall ms", "CPU ms", "MB/s out"
  printf "%-10s %8.1f %10.1f %10.1f %10.1f\n", "plain", ps / 1048576, pt[1] * 1000, pt[2] * 1000, 200 / pt[1]
  printf "%-10s %8.1f %10.1f %10.1f %10.1f\n", "encrypted", es / 1048576, et[1] * 1000, et[2] * 1000, 200 / et[1]
  printf "encrypted / plain: wall %.3f, CPU %.3f   goal 2.0 %s\n", et[1] / pt[1], et[2] / pt[2],
         et[1] / pt[1] <= 2 ? "ok" : "OVER"
}'
