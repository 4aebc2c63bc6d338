#!/usr/bin/env bash
# LZMA packages against 7-Zip's LZMA ZIP on the same files: sizes side by
# side (the archive part of the package, which is a ZIP archive, against
# the .zip), and the build time at the default level against 7-Zip's
# default. Goals: the archive at level 9 at most 1.01 of
# `7z a -tzip -mm=LZMA -mx=9`; the build at the default level at most 1.2
# of `7z a -tzip -mm=LZMA`. `zip -9` is shown for scale. Run from anywhere:
#   bash bench/lzma_bench.sh [--rounds N]
#
# The files: those of lzma_bench_files.sh, 60 Windows programs from the
# installed Wine and licence texts. Time pairs run in turns, the order
# alternating from round to round; a time is the median of the rounds
# (default 5) and a ratio the median of the rounds' own ratios. Wall and
# cpu (user + system) time are both shown: 7-Zip compresses several files
# at once, sfxpack one after the other. SFXPACK names another packer; by
# default the host preset's is built.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=5
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "lzma_bench.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
for tool in 7z zip python3; do
  command -v "$tool" >/dev/null || { echo "lzma_bench.sh: $tool is missing" >&2; exit 2; }
done

if [ -z "${SFXPACK:-}" ]; then
  cmake --preset host >/dev/null
  cmake --build --preset host --target sfxpack >/dev/null
fi
sfxpack=${SFXPACK:-$root/build/host/bin/sfxpack}

work=$(mktemp -d "${WORK_DIR:-${TMPDIR:-/tmp}}/lzma_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

. bench/lzma_bench_files.sh
# The sizes compared are those of the archive alone.
stub=$work/stub.exe
make_lzma_bench_stub "$stub"
data=$work/files
gather_lzma_bench_files "$data"
count=$(find "$data" -type f | wc -l)

# Prints "wall cpu" (seconds; cpu is user + system) of one run.
timed() {
  local times status=0
  local TIMEFORMAT="%3R %3U %3S"
  times=$( { time "$@" >"$work/run.log" 2>&1; } 2>&1 ) || status=$?
  if [ "$status" != 0 ]; then
    echo "lzma_bench.sh: failed ($status): $*" >&2
    cat "$work/run.log" >&2
    exit 1
  fi
  echo "$times" | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

# The archive part of a package, as inspect gives it.
archive_size() {
  "$sfxpack" inspect --json "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin)["archive"]["size"])'
}
pack() { rm -f "$work/p.exe"; "$sfxpack" build -q --stub "$stub" -o "$work/p.exe" "$data" --compression "$@"; }
seven() { rm -f "$work/s.zip"; (cd "$data" && exec 7z a -bd -tzip "$@" "$work/s.zip" . >/dev/null); }

echo "sfxpack: $sfxpack"
echo "7-Zip: $(7z i | sed -n 2p | sed 's/^ *//')"
echo "files: $count ($(du -sm "$data" | cut -f1) MB): Windows programs from $lzma_bench_dlls and licence texts"

echo
printf "%-36s %12s %8s\n" "size of the ZIP archive" bytes ratio
zip9=$(cd "$data" && zip -q -r -9 "$work/z.zip" . && stat -c %s "$work/z.zip")
seven -mm=LZMA -mx=9
seven9=$(stat -c %s "$work/s.zip")
seven -mm=LZMA
seven5=$(stat -c %s "$work/s.zip")
pack lzma --level 9
ours9=$(archive_size "$work/p.exe")
pack lzma
ours6=$(archive_size "$work/p.exe")
pack deflate --level 9
deflate9=$(archive_size "$work/p.exe")
python3 - "$ours9" "$ours6" "$seven9" "$seven5" "$zip9" "$deflate9" <<'EOF'
import sys
ours9, ours6, seven9, seven5, zip9, deflate9 = map(int, sys.argv[1:])
rows = [("7z a -tzip -mm=LZMA -mx=9", seven9, None), ("sfxpack --compression lzma --level 9", ours9, seven9),
        ("7z a -tzip -mm=LZMA", seven5, None), ("sfxpack --compression lzma", ours6, seven5),
        ("zip -9", zip9, None), ("sfxpack --compression deflate --level 9", deflate9, zip9)]
for name, size, reference in rows:
    print("%-36s %12d %8s" % (name, size, "%.4f" % (size / reference) if reference else ""))
goal = ours9 / seven9
print("level 9 against 7z -mx=9: %.4f (goal 1.01: %s); LZMA level 9 against zip -9: %.3f; 7z -mx=9 against zip -9: %.3f"
      % (goal, "ok" if goal <= 1.01 else "OVER", ours9 / zip9, seven9 / zip9))
EOF

echo
echo "build time at the default level, median of $rounds rounds"
pairs=$work/pairs
: >"$pairs"
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    a=$(timed pack lzma); b=$(timed seven -mm=LZMA)
  else
    b=$(timed seven -mm=LZMA); a=$(timed pack lzma)
  fi
  echo "$a $b" >>"$pairs"
done
python3 - "$pairs" <<'EOF'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1]) if line.strip()]
med = statistics.median
ratio = lambda i, j: med([r[i] / r[j] for r in rows])
wall, cpu = ratio(0, 2), ratio(1, 3)
print("%-28s %9s %9s" % ("", "wall s", "cpu s"))
print("%-28s %9.3f %9.3f" % ("sfxpack --compression lzma", med([r[0] for r in rows]), med([r[1] for r in rows])))
print("%-28s %9.3f %9.3f" % ("7z a -tzip -mm=LZMA", med([r[2] for r in rows]), med([r[3] for r in rows])))
print("%-28s %9.2f %9.2f   (goal 1.2 for wall: %s)" % ("ratio", wall, cpu, "ok" if wall <= 1.2 else "OVER"))
EOF
