#!/usr/bin/env bash
# sfxpack against the ZIP tools on the same data: `build` against
# `zip -r -6` and against itself on one thread (--threads 1), `test`
# against `unzip -t`, `extract` against `unzip`, each pair timed in turns
# and set side by side as a ratio (goals: build and extract at most 1.5,
# build at most 0.59 of one thread, that is 1.7 times as fast, test at most
# 1.0). Run from anywhere:
#   bash bench/packer_bench.sh [--stub FILE] [--rounds N] [--only small|large]
# Two data sets, generated with a fixed seed: 20,000 text files of 2 KB in
# 200 folders, and 500 MB in 12 files of text, random and mixed data.
#
# Each round runs one command of a pair and then the other, the order
# alternating from round to round; a figure is the median of the rounds
# (default 5), and a ratio the median of the rounds' own ratios, so that a
# slow phase of the machine touches both sides of a pair. Outputs go to
# fresh names; removing them is not timed. The many-files set keeps its
# extraction folders until its runs are done: freeing 20,000 files just
# before a run slows the file creation of the next on some file systems.
#
# The stub: --stub FILE, else build/win32/bin/sfxstub.exe when it has been
# built, else a bare Windows program header, which the packer takes as a
# stub as well (the tests' stand-in); its size does not matter here.
# SFXPACK names another packer to time (an older build, say); by default
# the host preset's is built. WORK_DIR names the folder for the data (a
# file system to measure on; default: $TMPDIR or /tmp).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=5
stub=""
only=""
while [ $# -gt 0 ]; do
  case $1 in
    --stub) stub=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "packer_bench.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
for tool in zip unzip python3; do
  command -v "$tool" >/dev/null || { echo "packer_bench.sh: $tool is missing" >&2; exit 2; }
done

if [ -z "${SFXPACK:-}" ]; then
  cmake --preset host >/dev/null
  cmake --build --preset host --target sfxpack >/dev/null
fi
sfxpack=${SFXPACK:-$root/build/host/bin/sfxpack}

work=$(mktemp -d "${WORK_DIR:-${TMPDIR:-/tmp}}/packer_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -z "$stub" ] && [ -f build/win32/bin/sfxstub.exe ]; then
  stub=$root/build/win32/bin/sfxstub.exe
fi
if [ -z "$stub" ]; then
  stub=$work/stub.exe
  python3 - "$stub" <<'EOF'
import sys
stub = bytearray(512)
stub[0:2] = b"MZ"
stub[0x3C] = 0x80
stub[0x80:0x84] = b"PE\0\0"
stub[0x84:0x86] = (0x014C).to_bytes(2, "little")   # i386
open(sys.argv[1], "wb").write(stub)
EOF
fi

generate() { python3 bench/bench_data.py "$1" "$2"; }

# Prints "wall cpu" (seconds; cpu is user + system) of one run of the
# command; its output goes to a log, which a failure shows.
timed() {
  local times status=0
  local TIMEFORMAT="%3R %3U %3S"
  times=$( { time "$@" >"$work/run.log" 2>&1; } 2>&1 ) || status=$?
  if [ "$status" != 0 ]; then
    echo "packer_bench.sh: failed ($status): $*" >&2
    cat "$work/run.log" >&2
    exit 1
  fi
  echo "$times" | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

zip_folder() { (cd "$1" && exec zip -q -r -6 "$2" .); }

# One step of a data set: runs the pair ROUNDS times in turns and prints
# one line of medians. The commands are functions of the round's number.
compare() {
  local step=$1 reference=$2 ours=$3 theirs=$4 goal=$5 pairs=$work/pairs
  : >"$pairs"
  for round in $(seq 1 "$rounds"); do
    local a b
    if [ $((round % 2)) -eq 1 ]; then
      a=$($ours "$round"); b=$($theirs "$round")
    else
      b=$($theirs "$round"); a=$($ours "$round")
    fi
    echo "$a $b" >>"$pairs"
  done
  python3 - "$pairs" "$step" "$reference" "$goal" <<'EOF'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1]) if line.strip()]
step, reference, goal = sys.argv[2], sys.argv[3], float(sys.argv[4])
med = lambda values: statistics.median(values)
ratio = lambda i, j: med([r[i] / r[j] if r[j] > 0 else float("inf") for r in rows])
wall, cpu = ratio(0, 2), ratio(1, 3)
print("%-8s %9.3f %9.3f   %-14s %9.3f %9.3f   %6.2f %6.2f   %4.2f %s" % (
    step, med([r[0] for r in rows]), med([r[1] for r in rows]), reference,
    med([r[2] for r in rows]), med([r[3] for r in rows]), wall, cpu, goal,
    "ok" if wall <= goal else "OVER"))
EOF
}

run_set() {
  local name=$1 title=$2 keep=$3
  local data=$work/$name
  echo "generating $title..." >&2
  generate "$name" "$data"
  local set=$work/$name-runs
  mkdir -p "$set"

  build_ours() { rm -f "$set/p$1.exe"; timed "$sfxpack" build -q --stub "$stub" -o "$set/p$1.exe" "$data"; }
  build_zip() { rm -f "$set/z$1.zip"; timed zip_folder "$data" "$set/z$1.zip"; }
  build_one() { rm -f "$set/q$1.exe"; timed "$sfxpack" build -q --threads 1 --stub "$stub" -o "$set/q$1.exe" "$data"; }
  test_ours() { timed "$sfxpack" test -q "$set/p1.exe"; }
  test_zip() { timed unzip -tqq "$set/z1.zip"; }
  extract_ours() { timed "$sfxpack" extract -q -d "$set/po$1" "$set/p1.exe"; drop "$set/po$1"; }
  extract_zip() { timed unzip -qq "$set/z1.zip" -d "$set/zo$1"; drop "$set/zo$1"; }
  drop() { if [ "$keep" = no ]; then rm -rf "$1"; fi; }

  echo
  echo "$title: $(du -sm "$data" | cut -f1) MB of files; median of $rounds rounds"
  printf "%-8s %19s   %-14s %9s %9s   %13s   %4s\n" "" "sfxpack" "" "" "" "ratio" ""
  printf "%-8s %9s %9s   %-14s %9s %9s   %6s %6s   %4s\n" step "wall s" "cpu s" reference "wall s" "cpu s" \
    wall cpu goal
  compare build "zip -r -6" build_ours build_zip 1.5
  compare build "1 thread" build_ours build_one 0.59
  compare test "unzip -t" test_ours test_zip 1.0
  compare extract unzip extract_ours extract_zip 1.5
  echo "sizes: package $(du -m "$set/p1.exe" | cut -f1) MB (stub $(( $(stat -c %s "$stub") / 1024 )) KiB), zip $(du -m "$set/z1.zip" | cut -f1) MB"
  rm -rf "$data" "$set"
}

echo "sfxpack: $sfxpack"
echo "stub: $stub"
echo "zip: $(zip -v | sed -n 2p | sed 's/^ *//')"
if [ -z "$only" ] || [ "$only" = small ]; then
  run_set small "20,000 files of 2 KB in 200 folders" yes
fi
if [ -z "$only" ] || [ "$only" = large ]; then
  run_set large "500 MB in 12 files of text, random and mixed data" no
fi
