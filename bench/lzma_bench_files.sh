# The files both LZMA benchmarks pack, and the bare program header they
# give the packer as its stub. Sourced by lzma_bench.sh and
# lzma_extract_bench.sh, so that their figures are of the same set.
#
# The files: 60 Windows programs (DLLs of 150 KB to 1.5 MB) from the
# installed Wine, every fourth by name, and the licence texts of
# /usr/share/common-licenses.

lzma_bench_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

# Copies the set into folder $1 (made here).
gather_lzma_bench_files() {
  local data=$1
  [ -d "$lzma_bench_dlls" ] || { echo "no Wine programs in $lzma_bench_dlls (wine64)" >&2; return 2; }
  mkdir -p "$data/docs"
  find "$lzma_bench_dlls" -maxdepth 1 -name '*.dll' -size +146k -size -1466k -printf '%f\n' | LC_ALL=C sort \
    | awk 'NR % 4 == 1' | head -n 60 | while read -r name; do cp "$lzma_bench_dlls/$name" "$data/"; done
  cp /usr/share/common-licenses/* "$data/docs/" 2>/dev/null || true
}

# Writes a bare Windows program header to $1: the packer takes it as a
# stub, and the package is then its archive and trailer alone.
make_lzma_bench_stub() {
  python3 - "$1" <<'EOF'
import sys
stub = bytearray(512)
stub[0:2] = b"MZ"
stub[0x3C] = 0x80
stub[0x80:0x84] = b"PE\0\0"
stub[0x84:0x86] = (0x014C).to_bytes(2, "little")
open(sys.argv[1], "wb").write(stub)
EOF
}
