#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix; CTest uses it
# as the emulator of the Windows builds. It picks the 32- or 64-bit loader from
# the program's PE header, because a 32-bit program under a Wine without wine32
# "succeeds" silently and so must be refused here instead.
set -u
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=${DISPLAY:-:99}

pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ')
case $machine in
  014c)
    . "$here/wine-env.sh"
    if ! wine32_usable; then
      echo "wine-run: $exe is a 32-bit program and $wine32_missing" >&2
      exit 1
    fi
    loader=/usr/lib/wine/wine ;;
  8664) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run: $exe: not a PE program (machine '$machine')" >&2; exit 1 ;;
esac
exec "$loader" "$@"
