#!/usr/bin/env bash
# Builds the fuzzers' seed corpus: a small folder tree zipped by the tools
# found on this machine (Info-ZIP zip, 7-Zip, bsdtar, Python's zipfile),
# then the generator, which writes its own seeds and wraps those archives.
# A missing tool only means fewer seeds.
# Usage: make_seeds.sh GENERATOR OUTPUT_DIR
set -eu
generator=$1
out=$2
work=$out/tool-archives
rm -rf "$work"
mkdir -p "$work/tree/docs/nested" "$work/tree/empty-folder"
cd "$work"

printf 'A small text file.\r\n%.0s' $(seq 1 20) > tree/small.txt
: > tree/empty.txt
printf 'deep\n' > tree/docs/nested/note.txt
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(7).randbytes(600))' > tree/docs/random.bin
printf 'umlaut\n' > "tree/docs/Grüße.txt"

have() { command -v "$1" >/dev/null 2>&1; }
zips=()
if have zip; then
    (cd tree && zip -q -r -X ../infozip.zip . && echo "comment by zip -z" | zip -q -z ../infozip.zip)
    # Written to a pipe: data descriptors and zero sizes in the local headers.
    (cd tree && zip -q -r -X - . | cat > ../infozip-streamed.zip)
    zips+=(infozip.zip infozip-streamed.zip)
fi
if have 7z; then
    (cd tree && 7z a -tzip -mx=5 ../7z.zip . >/dev/null)
    zips+=(7z.zip)
fi
if have bsdtar; then
    (cd tree && bsdtar --format zip -cf ../bsdtar.zip .)
    zips+=(bsdtar.zip)
fi
if have python3; then
    python3 - <<'PY'
import os, zipfile
with zipfile.ZipFile("python.zip", "w") as z:
    z.comment = b"written by Python's zipfile"
    for root, dirs, files in sorted(os.walk("tree")):
        for i, f in enumerate(sorted(files)):
            path = os.path.join(root, f)
            method = zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED
            z.write(path, os.path.relpath(path, "tree"), compress_type=method)
PY
    zips+=(python.zip)
fi

cd - >/dev/null
"$generator" "$out" "${zips[@]/#/$work/}"
rm -rf "$work"
