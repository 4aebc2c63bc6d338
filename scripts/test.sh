#!/usr/bin/env bash
# The whole check: installs what is missing, builds every preset (host,
# win32, win64) and the release packages, and runs every test, the Windows
# ones under Wine on a virtual display when there is no real one; then the
# host tests under the sanitizers and a short run of each fuzz target. Exits
# nonzero when anything fails.
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

# The release packages, which tests of both builds install and use.
echo "=== release packages"
bash scripts/release.sh || status=1

# Each host test works in a scratch folder of its own, so two run at a time;
# the Windows ones share one Wine display and run one after another.
echo "=== tests: host"
ctest --preset host -j 2 || status=1

# The Windows tests run in the build tree's own prefix, on a virtual display
# when there is no real one.
. scripts/wine-env.sh
have_wine32=0
wine32_usable && have_wine32=1
wine_env "$root/build/wineprefix"
trap wine_stop EXIT
wine_display 90 120 1280x1024x24 || exit 1
[ -n "$wine_xvfb_pid" ] && echo "=== virtual display $DISPLAY"
wine_start

echo "=== tests: win64 (under wine64)"
ctest --preset win64 || status=1
if [ "$have_wine32" = 1 ]; then
  echo "=== tests: win32 (under wine32)"
  ctest --preset win32 || status=1
else
  echo "=== tests: win32 under Wine NOT run: $wine32_missing; only the checks of the built 32-bit stub run"
  ctest --preset win32 -L no-wine || status=1
fi

wine_stop

# The host code once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short run of every fuzz target.
echo "=== configure, build and tests: host-asan"
if cmake --preset host-asan >build/configure-host-asan.log 2>&1; then
  { cmake --build --preset host-asan && ctest --preset host-asan -j 2; } || status=1
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
