#!/usr/bin/env bash
# Extraction of an LZMA package against the same files deflated, under
# Wine: the host packer makes both packages of the LZMA size benchmark's
# files (lzma_bench_files.sh) at its default level, and the win64 preset's
# lzma_extract_bench times the stub's extraction worker on each, in turns.
# LZMA decoding is expected to be slower; the ratio says how much. Run from
# anywhere:
#   bash bench/lzma_extract_bench.sh [--rounds N]
# PRESET=win32 for the 32-bit bench (which needs a 32-bit Wine).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=5
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "lzma_extract_bench.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done

preset=${PRESET:-win64}
cmake --preset host >/dev/null
cmake --build --preset host --target sfxpack >/dev/null
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target lzma_extract_bench >/dev/null
sfxpack=$root/build/host/bin/sfxpack

# The bench opens no window, so it needs no display, but Wine wants a server
# that outlives its first program, and a booted prefix; the server stays.
. scripts/wine-env.sh
wine_env "$root/build/wineprefix"
wine_start

work=$(mktemp -d "${WORK_DIR:-${TMPDIR:-/tmp}}/lzma_extract_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

. bench/lzma_bench_files.sh
make_lzma_bench_stub "$work/stub.exe"
gather_lzma_bench_files "$work/files"
echo "files: $(find "$work/files" -type f | wc -l) ($(du -sm "$work/files" | cut -f1) MB): Windows programs from" \
  "$lzma_bench_dlls and licence texts"
for method in deflate lzma; do
  "$sfxpack" build -q --stub "$work/stub.exe" -o "$work/$method.exe" "$work/files" --compression "$method"
done
scripts/wine-run.sh "build/$preset/bin/lzma_extract_bench.exe" "Z:$work/deflate.exe" "Z:$work/lzma.exe" "$rounds"
