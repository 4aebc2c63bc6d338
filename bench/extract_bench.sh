#!/usr/bin/env bash
# The extraction worker's benchmark under Wine (plain against the least work
# any extractor does, and encrypted against plain on the same data), then
# the host's unzip on the same large archive as an outside reference. Run
# from anywhere:
#   bash bench/extract_bench.sh
# Builds the win64 preset's extract_bench (PRESET=win32 for the 32-bit one,
# or BUILD_DIR's), which keeps the bare ZIP of its large case in a host
# folder (through Wine's Z: drive), and times `unzip -qq -o` of that ZIP,
# best of 3, each into a fresh folder.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

# BUILD_DIR names another, already configured Windows build tree.
if [ -n "${BUILD_DIR:-}" ]; then
  build=$BUILD_DIR
  cmake --build "$build" --target extract_bench
else
  preset=${PRESET:-win64}
  build=build/$preset
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target extract_bench
fi

# The bench opens no window, so it needs no display, but Wine wants a server
# that outlives its first program, and a booted prefix; the server stays.
. scripts/wine-env.sh
wine_env "$root/build/wineprefix"
wine_start

work=$(mktemp -d /tmp/extract_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

log=$work/bench.log
scripts/wine-run.sh "$build/bin/extract_bench.exe" --keep-zip "Z:$work/large.zip" | tee "$log"
worker=$(sed -n 's/^worker_large_seconds=\([0-9.]*\).*/\1/p' "$log" | tr -d '\r')

best=""
for _ in 1 2 3; do
  out=$work/unzipped
  rm -rf "$out"
  start=$(date +%s.%N)
  unzip -qq -o "$work/large.zip" -d "$out"
  end=$(date +%s.%N)
  best=$(awk -v a="$start" -v b="$end" -v best="$best" 'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.4f", best }')
done
rm -rf "$work/unzipped"

echo
echo "host unzip -qq -o of the large archive (best of 3): $(awk -v t="$best" 'BEGIN { printf "%.1f ms", t * 1000 }')"
if [ -n "$worker" ]; then
  awk -v w="$worker" -v u="$best" 'BEGIN { printf "worker under Wine / host unzip: %.3f\n", w / u }'
fi
