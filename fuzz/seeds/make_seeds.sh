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

# The LZMA harness's seeds: each LZMA entry of 7-Zip's archives (with and
# without end markers) and of Python's raw LZMA1, as the harness takes them:
# the uncompressed size and the CRC-32, then the entry's data.
mkdir -p "$out/lzma"
if have 7z; then
    (cd tree && 7z a -tzip -mm=LZMA ../7z-lzma.zip . >/dev/null)
    (cd tree && 7z a -tzip -m0=LZMA:d=4k:eos=off ../7z-lzma-noeos.zip . >/dev/null)
fi
python3 - "$out/lzma" <<'PY'
import lzma, os, struct, sys, zipfile, zlib
out = sys.argv[1]
def seed(name, size, crc, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(struct.pack("<II", size, crc) + data)
for archive in ("7z-lzma.zip", "7z-lzma-noeos.zip"):
    if not os.path.exists(archive):
        continue
    raw = open(archive, "rb").read()
    for i, info in enumerate(zipfile.ZipFile(archive).infolist()):
        if info.compress_type != 14:
            continue
        at = info.header_offset
        name_length, extra_length = struct.unpack_from("<HH", raw, at + 26)
        start = at + 30 + name_length + extra_length
        seed(f"{archive[:-4]}-{i}", info.file_size, info.CRC, raw[start:start + info.compress_size])
text = b"A small text file.\r\n" * 300
for lc, lp, pb in ((3, 0, 2), (0, 4, 0), (4, 0, 4)):
    stream = lzma.compress(text, format=lzma.FORMAT_RAW,
                           filters=[{"id": lzma.FILTER_LZMA1, "dict_size": 4096, "lc": lc, "lp": lp, "pb": pb}])
    header = bytes([9, 20, 5, 0, lc + 9 * (lp + 5 * pb)]) + struct.pack("<I", 4096)
    seed(f"python-lc{lc}-lp{lp}-pb{pb}", len(text), zlib.crc32(text), header + stream)
PY

# The switch parser's seeds: command lines as Windows hands them over.
mkdir -p "$out/switches"
i=0
for line in 'setup.exe' '"C:\Program Files\setup.exe" /S /LOG=C:\Temp\setup.log' \
    'setup.exe /X /D=C:\unpacked' 'setup.exe "/D=C:\Program Files\App" -p=secret' \
    'setup.exe /? /HELP /q' 'setup.exe /D="C:\a b" /P=' ; do
    printf '%s' "$line" >"$out/switches/line$i"
    i=$((i + 1))
done

cd - >/dev/null
"$generator" "$out" "${zips[@]/#/$work/}"
rm -rf "$work"
