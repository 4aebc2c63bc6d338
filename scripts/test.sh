#!/usr/bin/env bash
# The whole check: installs what is missing, builds every preset (host,
# win32, win64) and runs every test, the Windows ones under Wine on a virtual
# display when there is no real one; then the host tests under the
# sanitizers and a short run of each fuzz target. Exits nonzero when
# anything fails.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh || exit 1

status=0
for preset in host win64 win32; do
  echo "=== configure and build: $preset"
  mkdir -p build
  cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; exit 1; }
  cmake --build --preset "$preset" || exit 1
done

echo "=== tests: host"
ctest --preset host || status=1

have_wine32=0
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' && have_wine32=1

# Wine's first process starts wineserver and its services, which would keep
# CTest's output pipe open; a persistent server and a finished wineboot first
# avoid that. The prefix belongs to this build tree, never to the user.
export WINEPREFIX=$root/build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  echo "=== virtual display $DISPLAY"
fi
/usr/lib/wine/wineserver -p >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

echo "=== tests: win64 (under wine64)"
ctest --preset win64 || status=1
if [ "$have_wine32" = 1 ]; then
  echo "=== tests: win32 (under wine32)"
  ctest --preset win32 || status=1
else
  echo "=== tests: win32 NOT run: wine32 is not installed; the 32-bit build was compiled only"
fi

/usr/lib/wine/wineserver -k 2>/dev/null
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null

# The host code once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short run of every fuzz target.
echo "=== configure, build and tests: host-asan"
if cmake --preset host-asan >build/configure-host-asan.log 2>&1; then
  { cmake --build --preset host-asan && ctest --preset host-asan; } || status=1
else
  cat build/configure-host-asan.log
  status=1
fi
echo "=== fuzz: each target for 20 s"
bash scripts/fuzz.sh 20 || status=1

echo "=== stub sizes"
for preset in win32 win64; do
  [ -f "build/$preset/bin/sfxstub.exe" ] && stat -c "$preset: %s bytes" "build/$preset/bin/sfxstub.exe"
done
if [ "$status" = 0 ]; then echo "=== all tests passed"; else echo "=== SOME TESTS FAILED"; fi
exit $status
