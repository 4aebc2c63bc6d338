#!/usr/bin/env bash
# Cross-builds liblzma for the Windows targets, which Debian packages for
# the host only. The source is Debian's own xz-utils source package, the
# same version as the host's liblzma-dev (apt-get source; the deb-src
# entry comes from scripts/install-deps.sh). Two static builds per target,
# each with only what it needs:
#
#   build/deps/liblzma/TRIPLET-packer   LZMA1 encoder and decoder (sfxpack.exe)
#   build/deps/liblzma/TRIPLET-stub     LZMA1 decoder only, built small (the stub)
#
# each with include/lzma.h, include/lzma/ and lib/liblzma.a. A build that
# is there with the same source and options is kept: a second run does
# nothing. cmake/liblzma.cmake finds the result and runs this script for
# its own target when the build is missing.
#
# Usage: scripts/build-liblzma.sh [TRIPLET ...]
#        (default: i686-w64-mingw32 x86_64-w64-mingw32)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/deps"
triplets=("$@")
[ "${#triplets[@]}" -gt 0 ] || triplets=(i686-w64-mingw32 x86_64-w64-mingw32)

say() { echo "build-liblzma: $*"; }
fail() { echo "build-liblzma: $*" >&2; exit 1; }

# What every build leaves out: the programs, the documentation, threads
# (only the .xz multi-threaded coder uses them), and the checks beyond the
# CRC-32 that every build keeps.
common_options=(
  --enable-static --disable-shared --disable-threads
  --enable-checks=crc32
  --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links
  --disable-scripts --disable-doc --disable-nls
  --disable-microlzma --disable-lzip-decoder
)
# The packer: the presets' match finders (hash chains for 0-3, binary
# trees for 4-9) and a decoder for reading packages.
packer_options=(
  --enable-encoders=lzma1 --enable-decoders=lzma1 --enable-match-finders=hc3,hc4,bt4
)
packer_cflags="-O2"
# The stub: the decoder alone, its smaller and slower code, compiled as
# the stub is (src/CMakeLists.txt: for size, no unwind tables).
stub_options=(
  --disable-encoders --enable-decoders=lzma1 --enable-small
)
stub_cflags="-Os -fno-asynchronous-unwind-tables -ffunction-sections"

# The source folder of the package, fetched once into build/deps.
fetch_source() {
  mkdir -p "$deps/source"
  local found
  found=$(find "$deps/source" -maxdepth 1 -type d -name 'xz-utils-*' | sort | tail -n 1)
  if [ -n "$found" ]; then
    echo "$found"
    return
  fi
  command -v dpkg-source >/dev/null || fail "dpkg-source is missing: run scripts/install-deps.sh (dpkg-dev)"
  say "fetching Debian's xz-utils source package" >&2
  (cd "$deps/source" && apt-get source -q xz-utils >&2) \
    || fail "apt-get source xz-utils failed: run scripts/install-deps.sh (it adds the deb-src entry)"
  found=$(find "$deps/source" -maxdepth 1 -type d -name 'xz-utils-*' | sort | tail -n 1)
  [ -n "$found" ] || fail "apt-get source left no xz-utils folder in $deps/source"
  echo "$found"
}

# build_one TRIPLET VARIANT CFLAGS OPTIONS...
build_one() {
  local triplet=$1 variant=$2 cflags=$3
  shift 3
  local prefix="$deps/liblzma/$triplet-$variant"
  local work="$deps/work/$triplet-$variant"
  local recipe="$(basename "$source") $triplet $cflags ${common_options[*]} $*"
  if [ -f "$prefix/lib/liblzma.a" ] && [ "$(cat "$prefix/recipe" 2>/dev/null)" = "$recipe" ]; then
    return
  fi
  command -v "$triplet-gcc-posix" >/dev/null || fail "$triplet-gcc-posix is missing: run scripts/install-deps.sh"
  say "building $triplet-$variant"
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  # Out of tree, so that the source stays clean for the other builds.
  (
    cd "$work"
    "$source/configure" --host="$triplet" --prefix="$prefix" CC="$triplet-gcc-posix" CFLAGS="$cflags" \
      "${common_options[@]}" "$@" >configure.log 2>&1 \
      || { tail -n 30 configure.log >&2; exit 1; }
    make -j"$(nproc)" -C src/liblzma >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
    make -C src/liblzma install >>make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
  ) || fail "the $triplet-$variant build failed (logs in $work)"
  # The pkg-config file and libtool's archive name paths of this machine;
  # CMake takes the library and headers by their paths.
  rm -rf "$prefix/lib/pkgconfig" "$prefix/lib/liblzma.la"
  echo "$recipe" >"$prefix/recipe"
  rm -rf "$work"
}

# One build at a time: the presets' configures may call this at once.
mkdir -p "$deps"
exec 9>"$deps/liblzma.lock"
flock 9

source=$(fetch_source)
for triplet in "${triplets[@]}"; do
  case "$triplet" in
    i686-w64-mingw32|x86_64-w64-mingw32) ;;
    *) fail "unknown target $triplet (i686-w64-mingw32 or x86_64-w64-mingw32)" ;;
  esac
  build_one "$triplet" packer "$packer_cflags" "${packer_options[@]}"
  build_one "$triplet" stub "$stub_cflags" "${stub_options[@]}"
done
